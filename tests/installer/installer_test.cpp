// The setup program and its removal, silent and not, under the stand-in HotSync installation
// (hotsync.exe install), reaching the stand-in conduit manager and HotSync calls only by the
// names a setup program uses.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ConduitRegistration.h"
#include "HsApi.h"
#include "platform/stubs/StandinRegistry.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/TestTree.h"

namespace {

constexpr uint32_t kTnwk = 0x546E776B;
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwick";


std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file and folder below root with its size: what "untouched" is checked against.
std::map<std::string, DWORD> listing(const std::string& root, const std::string& relative = "") {
    std::map<std::string, DWORD> out;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((root + "\\" + relative + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[relative + name + "\\"] = 0;
            for (const auto& entry : listing(root, relative + name + "\\")) out.insert(entry);
        } else {
            out[relative + name] = data.nFileSizeLow;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return out;
}

void copyTree(const std::string& from, const std::string& to) {
    makeFolders(to);
    for (const auto& entry : listing(from)) {
        if (entry.first.back() == '\\') makeFolders(to + "\\" + entry.first.substr(0, entry.first.size() - 1));
        else CopyFileA((from + "\\" + entry.first).c_str(), (to + "\\" + entry.first).c_str(), FALSE);
    }
}

// The pids of pid and of every process it started (the removal program hands its work to a
// copy of itself and ends at once).
std::vector<DWORD> processTree(DWORD pid) {
    std::vector<DWORD> tree{pid};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return tree;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == pid) tree.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return tree;
}

// Plays the user of a program that is not silent: in each enabled dialog of the process
// tree it presses button 1 (Install, Uninstall, Close, OK), or else button `otherwise`
// (2 Cancel, 4 Retry in the box that asks to let a HotSync finish), counted in `pressed`.
struct User {
    DWORD root;
    int otherwise;
    int pressed;
    std::vector<DWORD> pids;

    static BOOL CALLBACK press(HWND window, LPARAM context) {
        User& user = *reinterpret_cast<User*>(context);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char cls[16] = {0};
        GetClassNameA(window, cls, sizeof cls);
        if (std::count(user.pids.begin(), user.pids.end(), pid) == 0 || std::strcmp(cls, "#32770") != 0 ||
            !IsWindowVisible(window) || !IsWindowEnabled(window))
            return TRUE;
        for (int id : {1, user.otherwise}) {
            HWND button = GetDlgItem(window, id);
            if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) continue;
            user.pressed += id != 1;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
            break;
        }
        return TRUE;
    }
};

// Waits up to a minute for the process, playing the user meanwhile when there is one.
bool waitFor(HANDLE process, User* user) {
    for (int i = 0; i < 300; ++i) {
        if (WaitForSingleObject(process, 200) == WAIT_OBJECT_0) return true;
        if (!user) continue;
        user->pids = processTree(user->root);
        EnumWindows(User::press, reinterpret_cast<LPARAM>(user));
    }
    return false;
}

// Runs a UTF-8 command line to its end (output to outputFile, if given; with the processes
// it started, if withChildren), played by user if given; answers its exit code, or -1 when it
// could not be started or ran for more than a minute.
int run(const std::string& commandLine, const std::string& outputFile = "", bool withChildren = false,
        User* user = nullptr) {
    ChildOptions options;
    options.folder = binFolder();
    options.outputFile = outputFile;
    options.utf8 = true;
    ChildProcess child(commandLine, options);
    if (!child.started()) return -1;
    if (user) user->root = child.id();
    const bool ended = waitFor(child.process(), user);
    const int code = ended ? static_cast<int>(child.exitCode()) : -1;
    for (DWORD pid : withChildren ? processTree(child.id()) : std::vector<DWORD>()) {
        HANDLE handle = pid == child.id() ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (handle) waitFor(handle, user);
        if (handle) CloseHandle(handle);
    }
    return code;
}

int hotsync(const std::string& arguments, const std::string& outputFile = "") {
    return run("\"" + binFolder() + "\\hotsync.exe\" " + arguments, outputFile);
}

std::string setupProgram() {
    WIN32_FIND_DATAA data;
    std::string dist = binFolder() + "\\..\\dist\\";
    HANDLE find = FindFirstFileA((dist + "Tarnwick-*-setup.exe").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::string();
    FindClose(find);
    return dist + data.cFileName;
}

// /D= must come last and unquoted, as administrators write it. Not silent, a User presses
// the buttons, `otherwise` in a dialog without button 1.
int setup(const std::string& folder, bool silent, int otherwise = 2, int* pressed = nullptr) {
    User user{0, otherwise, 0, {}};
    int rc = run("\"" + setupProgram() + "\"" + (silent ? " /S" : "") + " /D=" + folder, "", false,
                 silent ? nullptr : &user);
    if (pressed) *pressed = user.pressed;
    return rc;
}
int removal(const std::string& folder, bool silent) {
    User user{0, 2, 0, {}};
    return run("\"" + folder + "\\Uninstall.exe\"" + (silent ? " /S" : ""), "", true, silent ? nullptr : &user);
}

bool uninstallEntryExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The stand-in conduit manager and HotSync calls, found by name in the libraries of the
// installation, as a setup program finds them: platform("CmInstallCreator", "Tnwk", 1).
struct Platform {
    Platform() : condMgr(LoadLibraryA((binFolder() + "\\CondMgr.dll").c_str())),
                 hsApi(LoadLibraryA((binFolder() + "\\HsApi.dll").c_str())) {}
    ~Platform() {
        FreeLibrary(hsApi);
        FreeLibrary(condMgr);
    }
    template <class... A>
    int operator()(const char* name, A... args) const {
        FARPROC found = GetProcAddress(name[0] == 'H' ? hsApi : condMgr, name);
        EXPECT_NE(nullptr, found) << name;
        return found ? reinterpret_cast<int(__stdcall*)(A...)>(reinterpret_cast<void*>(found))(args...) : -1;
    }
    // A CmGetCreator... call: text is the text, or the size needed.
    int get(const char* which, const char* creator, std::string& text, int size = 300) const {
        std::vector<char> buffer(static_cast<size_t>(size), 'x');
        int r = (*this)(which, creator, buffer.data(), &size);
        text = r == 0 ? std::string(buffer.data()) : std::to_string(size);
        return r;
    }
    std::string file() const {
        std::string text;
        return get("CmGetCreatorFile", "Tnwk", text) == 0 ? text : std::string();
    }
    HMODULE condMgr;
    HMODULE hsApi;
};

// The names a library exports.
std::set<std::string> exportedNames(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    std::set<std::string> out;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) out.insert(reinterpret_cast<const char*>(base + names[i]));
    return out;
}

// Waits up to twenty seconds for the condition (the machine may be busy).
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        Sleep(100);
    }
    return condition();
}

// The last line of the stand-in manager's log that begins with what.
std::string lastManagerLine(const std::string& log, const std::string& what = "manager started") {
    std::istringstream in(readFile(log));
    std::string line, last;
    while (std::getline(in, line))
        if (line.compare(0, what.size(), what) == 0) last = line.substr(0, line.find_last_not_of('\r') + 1);
    return last;
}

// Each test starts from a recorded HotSync installation and nothing of ours registered, and
// leaves the prefix so, whatever it did.
class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(setupProgram().empty()) << "no Tarnwick-*-setup.exe in ..\\dist";
        root_ = binFolder() + "\\installer test\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        clean();
        makeFolders(root_);
        ASSERT_EQ(0, hotsync("install --manager-log \"" + managerLog() + "\""));
    }
    void TearDown() override { clean(); }

    void clean() {
        if (platform_.hsApi) platform_("HsSetAppStatus", HS_APP_CLOSE, 0u);
        platform_("CmRemoveConduitByCreatorID", "Tnwk");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        hotsync("install");
        removeTree(root_);
    }

    std::string program() const { return root_ + "\\Program Files\\Tarnwick"; }
    std::string managerLog() const { return root_ + "\\manager.log"; }
    // A HotSync of FakeConduit that runs about five seconds (its dialog's timer), started
    // in the background; the caller joins it.
    std::thread startLongHotSync() {
        makeFolders(root_ + "\\fake device");
        writeFile(root_ + "\\fake device\\device.ini", "[Device]\r\n");
        std::thread hotSync([this] {
            hotsync("sync --device \"" + root_ + "\\fake device\" --user U --pc \"" + root_ +
                    "\\fake pc\" --type 1 --conduit \"" + binFolder() + "\\FakeConduit.dll\"");
        });
        uint32_t status = 0;
        EXPECT_TRUE(eventually([&] { return platform_("HsGetSyncStatus", &status) == 0 && status == 1; }));
        return hotSync;
    }

    Platform platform_;
    std::string root_;
};

TEST(StandinPlatform, ExportsAndAnswersAsTheRealLibraries) {
    Platform p;
    ASSERT_TRUE(p.condMgr && p.hsApi);
    EXPECT_EQ((std::set<std::string>{"CmGetConduitCount", "CmInstallCreator", "CmSetCreatorName", "CmSetCreatorFile",
                                     "CmSetCreatorDirectory", "CmSetCreatorPriority", "CmGetCreatorFile",
                                     "CmGetCreatorName", "CmRemoveConduitByCreatorID"}),
              exportedNames(p.condMgr));
    EXPECT_EQ((std::set<std::string>{"HsGetSyncStatus", "HsSetAppStatus", "HsRefreshConduitInfo"}),
              exportedNames(p.hsApi));
    // The conduit's ordinals (called as the conduit calls them): the count is
    // CmGetConduitCount; the list answers from the registrations, in run order.
    EXPECT_EQ(GetProcAddress(p.condMgr, "CmGetConduitCount"), GetProcAddress(p.condMgr, MAKEINTRESOURCEA(4)));

    std::string text;
    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
        std::string text;  // what a CmGet... call gave: the text, or the size needed
    } cases[] = {
        {"three letters", [&] { return p("CmInstallCreator", "Tnw", 1); }, CM_ERR_BAD_CREATOR, ""},
        {"not installed", [&] { return p("CmSetCreatorName", "Zzz1", "Z"); }, CM_ERR_NO_SUCH_CONDUIT, ""},
        {"install", [&] { return p("CmInstallCreator", "Zzz1", 0); }, 0, ""},
        {"install again", [&] { return p("CmInstallCreator", "Zzz1", 1); }, CM_ERR_CREATOR_IN_USE, ""},
        {"relative file", [&] { return p("CmSetCreatorFile", "Zzz1", "Z.dll"); }, CM_ERR_BAD_ARGUMENT, ""},
        {"file", [&] { return p("CmSetCreatorFile", "Zzz1", "C:\\Z\\Z.dll"); }, 0, ""},
        {"small buffer", [&] { return p.get("CmGetCreatorFile", "Zzz1", text, 10); }, CM_ERR_BUFFER_TOO_SMALL, "11"},
        {"name unset", [&] { return p.get("CmGetCreatorName", "Zzz1", text); }, 0, ""},
        {"priority 5", [&] { return p("CmSetCreatorPriority", "Zzz1", 5u); }, CM_ERR_BAD_ARGUMENT, ""},
        {"priority 0", [&] { return p("CmSetCreatorPriority", "Zzz1", 0u) | p("CmInstallCreator", "Zzz0", 1); }, 0, ""},
        {"run order", [&] {
             CmConduitEntry entries[3];
             int32_t n = 3;
             uint32_t a = 0, b = 0;
             int r = CmConduitList(entries, &n) | CmEntryCreator(&entries[0], &a) | CmEntryCreator(&entries[1], &b);
             text = creatorText(a) + creatorText(b);
             return r != 0 ? r : n + 10 * p("CmGetConduitCount");
         }, 22, "Zzz1Zzz0"},
        {"remove", [&] { return p("CmRemoveConduitByCreatorID", "Zzz1"); }, 0, ""},
        {"remove again", [&] { return p("CmRemoveConduitByCreatorID", "Zzz1"); }, CM_ERR_NO_SUCH_CONDUIT, ""},
        {"null status", [&] { return p("HsGetSyncStatus", static_cast<uint32_t*>(nullptr)); }, HS_ERR_BAD_ARGUMENT, ""},
        {"flags", [&] { return p("HsSetAppStatus", HS_APP_START, 1u); }, HS_ERR_BAD_ARGUMENT, ""},
    };
    for (const Case& c : cases) {
        text.clear();
        EXPECT_EQ(c.result, c.call()) << c.what;
        EXPECT_EQ(c.text, text) << c.what;
    }
    p("CmRemoveConduitByCreatorID", "Zzz0");
}

TEST_F(Installer, SetupHotSyncAndRemovalSilentAndNot) {
    const std::string dll = program() + "\\Tarnwick.dll";
    for (bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent" : "not silent");
        // The HotSync manager is running: setup closes it and starts it again.
        ASSERT_EQ(0, platform_("HsSetAppStatus", HS_APP_START, 0u));
        ASSERT_EQ(0, platform_("HsRefreshConduitInfo"));
        EXPECT_EQ("manager refreshed: no conduits registered", lastManagerLine(managerLog(), "manager refreshed"));

        ASSERT_EQ(0, setup(program(), silent));
        EXPECT_EQ(dll, platform_.file());
        std::string name;
        EXPECT_EQ(0, platform_.get("CmGetCreatorName", "Tnwk", name));
        EXPECT_EQ("Tarnwick", name);
        ConduitEntry entry;
        ASSERT_EQ(standin::Found::Yes, standin::readConduit(0x546E776B, entry));
        EXPECT_EQ("Tarnwick", entry.directory);
        EXPECT_EQ(2, entry.priority);
        EXPECT_EQ(1, entry.type);
        EXPECT_EQ(1, platform_("CmGetConduitCount"));
        for (const char* file : {"Tarnwick.dll", "Detach.dll", "Kickoff.dll", "Uninstall.exe"})
            EXPECT_TRUE(exists(program() + "\\" + file)) << file;
        EXPECT_TRUE(uninstallEntryExists());
        EXPECT_EQ("manager started: Tnwk=" + dll, lastManagerLine(managerLog())) << readFile(managerLog());

        // One HotSync of the demo handheld through the registration (no --conduit), with the
        // conduit-database step on: the conduit list it reads is the registrations.
        const char* source = std::getenv("TARNWICK_SOURCE_DIR");
        ASSERT_NE(nullptr, source);
        std::string demo = std::string("Z:") + source + "\\demo";
        for (char& c : demo)
            if (c == '/') c = '\\';
        const std::string device = root_ + "\\device", pc = root_ + "\\User\\Tarnwick", log = root_ + "\\hotsync.log";
        removeTree(device);
        copyTree(demo, device);
        makeFolders(root_ + "\\User\\Archive\\Tarnwick");
        writeFile(root_ + "\\User\\Archive\\Tarnwick\\kept.txt", "an archived copy");
        writeFile(program() + "\\Tarnwick.ini", "[Demo]\r\nConduitDB=0\r\n");
        ASSERT_EQ(0, hotsync("sync --device \"" + device + "\" --user Demo --pc \"" + pc + "\" --log \"" + log +
                                 "\" --trace \"" + root_ + "\\trace.txt\"",
                             root_ + "\\hotsync.out"))
            << readFile(root_ + "\\hotsync.out");
        EXPECT_NE(std::string::npos, readFile(root_ + "\\hotsync.out").find("at " + dll + ", folder Tarnwick"));
        EXPECT_NE(std::string::npos, readFile(root_ + "\\trace.txt").find("CmEntryCreator\tcreator=Tnwk"));
        EXPECT_NE(std::string::npos, readFile(log).find("20\tTarnwick\n")) << readFile(log);
        EXPECT_TRUE(exists(pc + "\\DemoCard\\Documents\\notes.txt"));
        const std::string settings = readFile(program() + "\\Tarnwick.ini");
        const auto userFiles = listing(root_ + "\\User");

        ASSERT_EQ(0, removal(program(), silent));
        EXPECT_EQ(CM_ERR_NO_SUCH_CONDUIT, platform_.get("CmGetCreatorFile", "Tnwk", name));
        EXPECT_FALSE(uninstallEntryExists());
        EXPECT_EQ((std::map<std::string, DWORD>{{"Tarnwick.ini", static_cast<DWORD>(settings.size())}}),
                  listing(program()));
        EXPECT_EQ(settings, readFile(program() + "\\Tarnwick.ini"));
        EXPECT_EQ(userFiles, listing(root_ + "\\User"));
        // Removal, too, gave the manager its restart, now without the conduit.
        EXPECT_EQ("manager started: no conduits registered", lastManagerLine(managerLog())) << readFile(managerLog());
        removeTree(root_ + "\\User");
        DeleteFileA((program() + "\\Tarnwick.ini").c_str());
    }
}

TEST_F(Installer, RefusesWithoutHotSyncWhileAHotSyncRunsOrWhenAnotherConduitHoldsTheCreator) {
    const std::string other = binFolder() + "\\FakeConduit.dll";  // exists: a live conduit
    const std::string ours = program() + "\\Tarnwick.dll";
    std::thread hotSync;
    struct Case {
        const char* what;
        bool silent;
        std::function<void()> prepare;
        int exitCode;
        int otherwise;  // not silent: the button pressed in the box without button 1
        std::string registeredAfter;
    } cases[] = {
        {"no HotSync installation", true, [] { ASSERT_EQ(0, hotsync("uninstall")); }, 3, 2, ""},
        {"no HotSync installation", false, [] { ASSERT_EQ(0, hotsync("uninstall")); }, 3, 2, ""},
        {"creator held", true, [&] {
             ASSERT_EQ(0, platform_("CmInstallCreator", "Tnwk", 1));
             ASSERT_EQ(0, platform_("CmSetCreatorFile", "Tnwk", other.c_str()));
         }, 4, 2, other},
        {"HotSync running", true, [&] { hotSync = startLongHotSync(); }, 6, 2, ""},
        {"HotSync running, cancelled", false, [&] { hotSync = startLongHotSync(); }, 6, 2, ""},
        // Asked to let the HotSync finish, the user retries until it has.
        {"HotSync running, waited for", false, [&] { hotSync = startLongHotSync(); }, 0, 4, ours},
        // A registration whose library is gone, or that names none, is stale: taken over.
        {"stale", true, [&] {
             ASSERT_EQ(0, platform_("CmInstallCreator", "Tnwk", 1));
             ASSERT_EQ(0, platform_("CmSetCreatorFile", "Tnwk", (root_ + "\\gone\\Tarnwick.dll").c_str()));
         }, 0, 2, ours},
        {"half made", false, [&] { ASSERT_EQ(0, platform_("CmInstallCreator", "Tnwk", 1)); }, 0, 2, ours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.silent ? ", silent" : ", not silent"));
        c.prepare();
        int pressed = 0;
        EXPECT_EQ(c.exitCode, setup(program(), c.silent, c.otherwise, &pressed));
        if (hotSync.joinable()) {
            uint32_t status = 0;
            EXPECT_EQ(0, platform_("HsGetSyncStatus", &status));
            EXPECT_EQ(c.exitCode == 0 ? 0u : 1u, status) << "setup went on while the HotSync ran";
            hotSync.join();
        }
        if (c.otherwise == 4) {
            EXPECT_LE(1, pressed) << "the user was not asked to wait";
        }
        EXPECT_EQ(c.registeredAfter, platform_.file());
        if (c.exitCode == 0) {
            EXPECT_EQ(0, removal(program(), true));
        } else {
            EXPECT_FALSE(exists(program())) << "a refused setup wrote files";
            EXPECT_FALSE(uninstallEntryExists());
        }
        platform_("CmRemoveConduitByCreatorID", "Tnwk");
        ASSERT_EQ(0, hotsync("install --manager-log \"" + managerLog() + "\""));
    }
    // A folder that the 8-bit code page cannot spell: HotSync could not load the conduit.
    EXPECT_EQ(5, setup(root_ + "\\Tarnw\xD0\x96" "ck", true));
    EXPECT_EQ("", platform_.file());
    EXPECT_FALSE(uninstallEntryExists());
}

TEST_F(Installer, UpgradeKeepsSettingsAndRemovalFinishesAPartialSetup) {
    ASSERT_EQ(0, setup(program(), true));
    const std::string ini = program() + "\\Tarnwick.ini";
    const std::string settings = "[Pat]\r\nArchive=0\r\nFrequency=2\r\n[Pat-Directories]\r\nDemoCard=C:\\x\r\n";
    writeFile(ini, settings);
    ASSERT_EQ(0, setup(program(), true));
    EXPECT_EQ(settings, readFile(ini));
    EXPECT_EQ(program() + "\\Tarnwick.dll", platform_.file());
    EXPECT_EQ(1, platform_("CmGetConduitCount")) << "one registration after two setups";

    // What a setup that stopped half-way leaves: some files, no registration, and no
    // HotSync installation to unregister from any more.
    DeleteFileA((program() + "\\Tarnwick.dll").c_str());
    DeleteFileA((program() + "\\Kickoff.dll").c_str());
    ASSERT_EQ(0, platform_("CmRemoveConduitByCreatorID", "Tnwk"));
    ASSERT_EQ(0, hotsync("uninstall"));
    ASSERT_EQ(0, removal(program(), true));
    EXPECT_EQ((std::map<std::string, DWORD>{{"Tarnwick.ini", static_cast<DWORD>(settings.size())}}),
              listing(program()));
    EXPECT_FALSE(uninstallEntryExists());
}

// A registration the conduit manager refuses part of (a library path of 260 characters or
// more) is removed again, and setup says so.
TEST_F(Installer, ARegistrationLeftHalfMadeIsRemoved) {
    std::string deep = program() + "\\" + std::string(250 - program().size() % 100, 'd');
    ASSERT_LE(260u, (deep + "\\Tarnwick.dll").size());
    EXPECT_EQ(5, setup(deep, true));
    EXPECT_EQ(CM_ERR_NO_SUCH_CONDUIT, platform_.get("CmGetCreatorName", "Tnwk", deep));
}

}  // namespace
