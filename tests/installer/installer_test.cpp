// The setup program and its removal, run silently under the stand-in HotSync installation
// (hotsync.exe install) with the stand-in conduit manager keeping the registrations.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ConduitRegistration.h"
#include "platform/stubs/RegistrationRules.h"
#include "platform/stubs/StandinRegistry.h"
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

// Waits for every process whose parent is pid: the removal program hands its work to a
// copy of itself and ends at once.
void waitForChildrenOf(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != pid) continue;
        if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            WaitForSingleObject(child, 60000);
            CloseHandle(child);
        }
    }
    CloseHandle(snapshot);
}

// Runs a command line to its end (output to outputFile, if given); answers its exit code,
// or -1 when it could not be started or ran for more than a minute.
int run(const std::string& commandLine, const std::string& outputFile = "", bool withChildren = false) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = outputFile.empty() ? INVALID_HANDLE_VALUE
                                    : CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                  CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (out != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = out;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0, nullptr,
                                  binFolder().c_str(), &startup, &process);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!started) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    if (withChildren) waitForChildrenOf(process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
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

// /D= must come last and unquoted, as administrators write it.
int setup(const std::string& folder) { return run("\"" + setupProgram() + "\" /S /D=" + folder); }
int removal(const std::string& folder) { return run("\"" + folder + "\\Uninstall.exe\" /S", "", true); }

bool uninstallEntryExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string registeredPath(uint32_t creator) {
    CmRegistration entry;
    return CmRegistrationByCreator(creator, &entry) == 0 ? entry.path : std::string();
}

HWND managerWindow() { return FindWindowA(standin::kManagerWindowClass, nullptr); }

// Waits up to twenty seconds for the condition (the machine may be busy).
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        Sleep(100);
    }
    return condition();
}

void stopManager() {
    if (HWND window = managerWindow()) SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
    eventually([] { return managerWindow() == nullptr; });
}

// The last "manager started" line of the stand-in manager's log.
std::string lastManagerStart(const std::string& log) {
    std::istringstream in(readFile(log));
    std::string line, last;
    while (std::getline(in, line))
        if (line.compare(0, 15, "manager started") == 0) last = line;
    return last;
}

// Each test starts from a marked HotSync installation and nothing of ours registered, and
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
        stopManager();
        CmUnregisterConduit(kTnwk);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        hotsync("install");
        removeTree(root_);
    }

    std::string program() const { return root_ + "\\Program Files\\Tarnwick"; }
    std::string managerLog() const { return root_ + "\\manager.log"; }

    std::string root_;
};

TEST(RegistrationRules, StoreRefuseOrTake) {
    ConduitEntry ours{kTnwk, 2, "C:\\Program Files\\Tarnwick\\Tarnwick.dll", "Tarnwick"};
    ConduitEntry sameFileOtherSpelling = ours;
    sameFileOtherSpelling.path = "c:/program files/TARNWICK/tarnwick.dll";
    ConduitEntry elsewhere = ours;
    elsewhere.path = "D:\\Tarnwick\\Tarnwick.dll";
    auto with = [&](std::function<void(ConduitEntry&)> change) {
        ConduitEntry e = ours;
        change(e);
        return e;
    };
    struct Case {
        const ConduitEntry* existing;
        ConduitEntry wanted;
        RegisterOutcome outcome;
    } cases[] = {
        {nullptr, ours, RegisterOutcome::Store},
        {&sameFileOtherSpelling, ours, RegisterOutcome::Store},  // an upgrade in place
        {&elsewhere, ours, RegisterOutcome::Taken},
        {nullptr, with([](ConduitEntry& e) { e.creator = 0; }), RegisterOutcome::Refused},
        {nullptr, with([](ConduitEntry& e) { e.path = "Tarnwick.dll"; }), RegisterOutcome::Refused},
        {nullptr, with([](ConduitEntry& e) { e.path = "\\\\server\\share\\T.dll"; }), RegisterOutcome::Store},
        {nullptr, with([](ConduitEntry& e) { e.path = "C:\\" + std::string(257, 'a'); }), RegisterOutcome::Refused},
        {nullptr, with([](ConduitEntry& e) { e.name = ""; }), RegisterOutcome::Refused},
        {nullptr, with([](ConduitEntry& e) { e.name = std::string(64, 'n'); }), RegisterOutcome::Refused},
        {nullptr, with([](ConduitEntry& e) { e.priority = 256; }), RegisterOutcome::Refused},
        {&elsewhere, with([](ConduitEntry& e) { e.priority = -1; }), RegisterOutcome::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted.path + " / " + c.wanted.name + " / " + std::to_string(c.wanted.priority));
        EXPECT_EQ(c.outcome, registerOutcome(c.existing, c.wanted));
    }

    uint32_t back = 0;
    for (uint32_t creator : {kTnwk, 0x6D656D6Fu, 0x01020304u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(parseCreatorKeyName(creatorKeyName(creator), back));
        EXPECT_EQ(creator, back);
    }
    EXPECT_EQ("546E776B", creatorKeyName(kTnwk));
    EXPECT_EQ("Tnwk", creatorText(kTnwk));
    EXPECT_EQ("0x01020304", creatorText(0x01020304u));
    EXPECT_FALSE(parseCreatorKeyName("Tnwk", back));

    std::vector<ConduitEntry> order{{3, 5, "C:\\c", "c"}, {2, 1, "C:\\b", "b"}, {1, 5, "C:\\a", "a"}};
    sortRunOrder(order);
    EXPECT_EQ("bac", order[0].name + order[1].name + order[2].name);
}

TEST_F(Installer, SetupHotSyncAndRemovalLeaveOnlyTheUsersFiles) {
    // The HotSync manager is running: setup closes it and starts it again.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION manager = {};
    std::string command = "\"" + binFolder() + "\\hotsync.exe\" manager --log \"" + managerLog() + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &manager));
    CloseHandle(manager.hThread);
    ASSERT_TRUE(eventually([] { return managerWindow() != nullptr; }));

    ASSERT_EQ(0, setup(program()));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(manager.hProcess, 20000)) << "the manager was not closed";
    CloseHandle(manager.hProcess);
    const std::string dll = program() + "\\Tarnwick.dll";
    CmRegistration entry;
    ASSERT_EQ(0, CmRegistrationByCreator(kTnwk, &entry));
    EXPECT_STREQ(dll.c_str(), entry.path);
    EXPECT_STREQ("Tarnwick", entry.name);
    EXPECT_EQ(2, entry.priority);
    for (const char* file : {"Tarnwick.dll", "Detach.dll", "Kickoff.dll", "Uninstall.exe"})
        EXPECT_TRUE(exists(program() + "\\" + file)) << file;
    EXPECT_TRUE(uninstallEntryExists());
    EXPECT_TRUE(eventually([&] { return lastManagerStart(managerLog()).find("Tnwk=" + dll) != std::string::npos; }))
        << readFile(managerLog());

    // One HotSync of the demo handheld, through the registered conduit (no --conduit).
    const char* source = std::getenv("TARNWICK_SOURCE_DIR");
    ASSERT_NE(nullptr, source);
    std::string demo = std::string("Z:") + source + "\\demo";
    for (char& c : demo)
        if (c == '/') c = '\\';
    const std::string device = root_ + "\\device", pc = root_ + "\\User\\Tarnwick", log = root_ + "\\hotsync.log";
    copyTree(demo, device);
    makeFolders(root_ + "\\User\\Archive\\Tarnwick");
    writeFile(root_ + "\\User\\Archive\\Tarnwick\\kept.txt", "an archived copy");
    ASSERT_EQ(0, hotsync("sync --device \"" + device + "\" --user Demo --pc \"" + pc + "\" --log \"" + log + "\"",
                         root_ + "\\hotsync.out"))
        << readFile(root_ + "\\hotsync.out");
    EXPECT_NE(std::string::npos, readFile(root_ + "\\hotsync.out").find("at " + dll)) << readFile(root_ + "\\hotsync.out");
    EXPECT_NE(std::string::npos, readFile(log).find("20\tTarnwick\n")) << readFile(log);
    EXPECT_TRUE(exists(pc + "\\DemoCard\\Documents\\notes.txt"));
    ASSERT_TRUE(exists(program() + "\\Tarnwick.ini")) << "the conduit keeps its settings beside itself";
    const std::string settings = readFile(program() + "\\Tarnwick.ini");
    const auto userFiles = listing(root_ + "\\User");

    ASSERT_EQ(0, removal(program()));
    EXPECT_EQ("", registeredPath(kTnwk));
    for (int32_t i = 0; CmRegistrationAt(i, &entry) == 0; ++i)
        EXPECT_EQ(std::string::npos, std::string(entry.path).find(program())) << entry.path;
    EXPECT_FALSE(uninstallEntryExists());
    EXPECT_EQ((std::map<std::string, DWORD>{{"Tarnwick.ini", static_cast<DWORD>(settings.size())}}), listing(program()));
    EXPECT_EQ(settings, readFile(program() + "\\Tarnwick.ini"));
    EXPECT_EQ(userFiles, listing(root_ + "\\User"));
    // Removal, too, gave the manager its restart, now without the conduit.
    EXPECT_TRUE(eventually([&] {
        std::string start = lastManagerStart(managerLog());
        return !start.empty() && start.find("Tnwk=") == std::string::npos;
    })) << readFile(managerLog());
}

TEST_F(Installer, RefusesWithoutHotSyncOrWhenAnotherConduitHoldsTheCreator) {
    const std::string other = binFolder() + "\\FakeConduit.dll";  // exists: a live conduit
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int exitCode;
        std::string registeredAfter;
    } cases[] = {
        {"no HotSync installation", [] { ASSERT_EQ(0, hotsync("uninstall")); }, 3, ""},
        {"creator held", [&] { ASSERT_EQ(0, CmRegisterConduit(kTnwk, other.c_str(), "Other", 1)); }, 4, other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        EXPECT_EQ(c.exitCode, setup(program()));
        EXPECT_FALSE(exists(program())) << "a refused setup wrote files";
        EXPECT_FALSE(uninstallEntryExists());
        EXPECT_EQ(c.registeredAfter, registeredPath(kTnwk));
        CmUnregisterConduit(kTnwk);
        ASSERT_EQ(0, hotsync("install"));
    }

    // A registration whose library is gone is stale: setup takes the creator over.
    ASSERT_EQ(0, CmRegisterConduit(kTnwk, (root_ + "\\gone\\Tarnwick.dll").c_str(), "Tarnwick", 2));
    EXPECT_EQ(0, setup(program()));
    EXPECT_EQ(program() + "\\Tarnwick.dll", registeredPath(kTnwk));
    EXPECT_EQ(0, removal(program()));
    EXPECT_EQ("", registeredPath(kTnwk));
}

TEST_F(Installer, UpgradeKeepsSettingsAndRemovalFinishesAPartialSetup) {
    ASSERT_EQ(0, setup(program()));
    const std::string ini = program() + "\\Tarnwick.ini";
    const std::string settings = "[Pat]\r\nArchive=0\r\nFrequency=2\r\n[Pat-Directories]\r\nDemoCard=C:\\x\r\n";
    writeFile(ini, settings);
    ASSERT_EQ(0, setup(program()));
    EXPECT_EQ(settings, readFile(ini));
    EXPECT_EQ(program() + "\\Tarnwick.dll", registeredPath(kTnwk));
    CmRegistration entry;
    int32_t count = 0;
    while (CmRegistrationAt(count, &entry) == 0) ++count;
    EXPECT_EQ(1, count) << "one registration after two setups";

    // What a setup that stopped half-way leaves: some files, no registration, and no
    // HotSync installation to unregister from any more.
    DeleteFileA((program() + "\\Tarnwick.dll").c_str());
    DeleteFileA((program() + "\\Kickoff.dll").c_str());
    ASSERT_EQ(0, CmUnregisterConduit(kTnwk));
    ASSERT_EQ(0, hotsync("uninstall"));
    ASSERT_EQ(0, removal(program()));
    EXPECT_EQ((std::map<std::string, DWORD>{{"Tarnwick.ini", static_cast<DWORD>(settings.size())}}), listing(program()));
    EXPECT_FALSE(uninstallEntryExists());
}

}  // namespace
