// hotsync.exe: the stand-in HotSync manager. It loads the registered conduits (or one DLL
// by path), identifies them and runs one HotSync (OpenConduit) against the simulated
// handheld, or opens a conduit's settings (CfgConduit). It also records its folder as the
// HotSync installation that setup programs look for, and can stand for the running
// manager that a setup restarts. The conduit sees only the SDK's records and libraries.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ConduitRecords.h"
#include "StandinLog.h"
#include "platform/handheld/StandinDevice.h"
#include "platform/hotsync/HostOptions.h"
#include "platform/stubs/StandinRegistry.h"

namespace {

// Exit codes of the host itself, for failures before the conduit was asked anything.
enum { kExitUsage = 250, kExitDevice = 251, kExitConduit = 252, kExitRegistry = 253, kExitWindow = 254 };

typedef int32_t (*GetConduitNameFn)(char*, uint16_t);
typedef int32_t (*GetConduitVersionFn)();
typedef int32_t (*GetConduitInfoFn)(int32_t, void*, void*, uint32_t*);
typedef int32_t (*OpenConduitFn)(void*, SyncProperties*);
typedef int32_t (*CfgConduitFn)(int32_t, ConduitConfigRecord*, uint32_t*);

class Module {
public:
    explicit Module(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}
    ~Module() {
        if (handle_) FreeLibrary(handle_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    HMODULE get() const { return handle_; }
    template <class Fn>
    Fn find(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
    }

private:
    HMODULE handle_;
};

std::string hostPath() {
    char path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

std::string besideHost(const char* file) {
    std::string dir = hostPath();
    size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + file;
}

void identify(const Module& conduit) {
    auto name = conduit.find<GetConduitNameFn>("GetConduitName");
    auto version = conduit.find<GetConduitVersionFn>("GetConduitVersion");
    auto info = conduit.find<GetConduitInfoFn>("GetConduitInfo");
    char text[256] = {0};
    if (name) name(text, sizeof text);
    uint32_t kind1 = 0, kind2 = 0, size = 4;
    int32_t r1 = info ? info(1, nullptr, &kind1, &size) : -1;
    size = 4;
    int32_t r2 = info ? info(2, nullptr, &kind2, &size) : -1;
    std::fprintf(stderr, "hotsync: conduit \"%s\" version %d info1=0x%x(%d) info2=0x%x(%d)\n", text,
                 version ? static_cast<int>(version()) : -1, kind1, static_cast<int>(r1), kind2,
                 static_cast<int>(r2));
}

// Presses the progress window's Cancel button the way a user would: finds the top-level
// dialog of this process captioned "Tarnwick" and clicks its button 9000.
class CancelPresser {
public:
    explicit CancelPresser(int afterMs) {
        if (afterMs >= 0) thread_ = std::thread([this, afterMs] { run(afterMs); });
    }
    ~CancelPresser() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    CancelPresser(const CancelPresser&) = delete;
    CancelPresser& operator=(const CancelPresser&) = delete;

private:
    static BOOL CALLBACK match(HWND window, LPARAM found) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != GetCurrentProcessId()) return TRUE;
        char cls[32] = {0}, caption[64] = {0};
        GetClassNameA(window, cls, sizeof cls);
        GetWindowTextA(window, caption, sizeof caption);
        if (std::strcmp(cls, "#32770") != 0 || std::strcmp(caption, "Tarnwick") != 0) return TRUE;
        if (!GetDlgItem(window, 9000)) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    bool waitFor(int ms) {
        std::unique_lock<std::mutex> hold(lock_);
        return wake_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stop_; });
    }

    void run(int afterMs) {
        auto start = std::chrono::steady_clock::now();
        if (waitFor(afterMs)) return;
        for (;;) {
            HWND dialog = nullptr;
            EnumWindows(match, reinterpret_cast<LPARAM>(&dialog));
            if (dialog) {
                SendMessageA(GetDlgItem(dialog, 9000), BM_CLICK, 0, 0);
                long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
                std::fprintf(stderr, "hotsync: pressed Cancel after %ld ms\n", ms);
                return;
            }
            if (waitFor(20)) return;
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

void reportPeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters;
    std::memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        std::fprintf(stderr, "hotsync: peak working set %lu KB\n",
                     static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024));
    // What the simulated handheld cost, for a benchmark to show apart from the conduit.
    std::fprintf(stderr, "hotsync: stand-in calls %.3f s\n", StandinCallSeconds());
}

void copyText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::strncpy(field, text.c_str(), size - 1);
}

// One conduit's HotSync; the device folder is written back by the caller, once.
int runSync(const HostOptions& o, const Module& conduit) {
    auto open = conduit.find<OpenConduitFn>("OpenConduit");
    if (!open) {
        std::fprintf(stderr, "hotsync: the conduit exports no OpenConduit\n");
        return kExitConduit;
    }
    SyncProperties props;
    std::memset(&props, 0, sizeof props);
    props.syncType = o.type;
    copyText(props.pcFolder, sizeof props.pcFolder, pcFolderWithSlash(o.pc));
    copyText(props.userName, sizeof props.userName, o.user);

    int32_t result;
    {
        CancelPresser presser(o.cancelAfterMs);
        result = open(nullptr, &props);
    }
    std::fprintf(stderr, "hotsync: OpenConduit answered %d\n", static_cast<int>(result));
    return result;
}

int runConfigure(const HostOptions& o, const Module& conduit) {
    auto cfg = conduit.find<CfgConduitFn>("CfgConduit");
    if (!cfg) {
        std::fprintf(stderr, "hotsync: the conduit exports no CfgConduit\n");
        return kExitConduit;
    }
    ConduitConfigRecord record;
    std::memset(&record, 0, sizeof record);
    record.version = 1;
    copyText(record.userName, sizeof record.userName, o.user);
    record.currentAction = o.action;
    uint32_t size = sizeof record;
    int32_t result = cfg(0, &record, &size);
    std::printf("CfgConduit answered %d\nchosenAction=%d\nsetAsDefault=%d\n", static_cast<int>(result),
                static_cast<int>(record.chosenAction), static_cast<int>(record.setAsDefault));
    std::fflush(stdout);
    return result;
}

// The conduit libraries a command runs: the one given, else the registered ones in run
// order, else Tarnwick.dll beside the host. False when the registrations cannot be read.
bool conduitsToRun(const HostOptions& o, std::vector<std::string>& paths) {
    if (!o.conduit.empty()) {
        paths.push_back(o.conduit);
        return true;
    }
    if (o.verb == HostOptions::Sync) {
        std::vector<ConduitEntry> registered;
        if (!standin::listConduits(registered)) {
            std::fprintf(stderr, "hotsync: could not read the registered conduits\n");
            return false;
        }
        for (const ConduitEntry& entry : registered) {
            std::fprintf(stderr, "hotsync: registered conduit %s \"%s\" at %s, folder %s\n",
                         creatorText(entry.creator).c_str(), entry.name.c_str(), entry.file.c_str(),
                         entry.directory.c_str());
            if (!entry.file.empty()) paths.push_back(entry.file);
        }
    }
    if (paths.empty()) paths.push_back(besideHost("Tarnwick.dll"));
    return true;
}

// The named mutex held while a HotSync runs, by which HsGetSyncStatus tells one.
class RunningMark {
public:
    explicit RunningMark(bool hold)
        : handle_(hold ? CreateMutexA(nullptr, FALSE, standin::kSyncRunningMutex) : nullptr) {}
    ~RunningMark() {
        if (handle_) CloseHandle(handle_);
    }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    HANDLE handle_;
};

// Runs the command for each conduit; answers the first non-zero outcome, or 0.
int runConduits(const HostOptions& o) {
    RunningMark running(o.verb == HostOptions::Sync);
    std::vector<std::string> paths;
    if (!conduitsToRun(o, paths)) return kExitConduit;
    int rc = 0;
    bool ran = false;
    for (const std::string& path : paths) {
        Module conduit(path);
        int one;
        if (!conduit.get()) {
            std::fprintf(stderr, "hotsync: could not load the conduit %s (error %lu)\n", path.c_str(),
                         static_cast<unsigned long>(GetLastError()));
            one = kExitConduit;
        } else {
            identify(conduit);
            one = o.verb == HostOptions::Sync ? runSync(o, conduit) : runConfigure(o, conduit);
            ran = true;
        }
        if (rc == 0) rc = one;
    }
    // A device no conduit ran against stays as it was on disk.
    if (o.verb == HostOptions::Sync && ran && StandinDeviceSave() != 0)
        std::fprintf(stderr, "hotsync: could not write the device folder back\n");
    return rc;
}

int runInstall(const HostOptions& o) {
    std::string folder = besideHost("");
    if (!folder.empty()) folder.pop_back();
    standin::Installation installation;
    if (o.verb == HostOptions::Install) installation = {folder, hostPath(), o.managerLog};
    if (!standin::markInstallation(installation)) {
        std::fprintf(stderr, "hotsync: could not write HKEY_CURRENT_USER\\%s\n", standin::kCoreKey);
        return kExitRegistry;
    }
    std::fprintf(stderr, o.verb == HostOptions::Install ? "hotsync: %s is the HotSync installation\n"
                                                        : "hotsync: %s is no longer the HotSync installation\n",
                 folder.c_str());
    return 0;
}

void appendLine(const std::string& file, const std::string& line) {
    if (file.empty()) return;
    if (FILE* f = std::fopen(file.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string g_managerLog;

// What the manager loads: "<what>: Tnwk=C:\...\Tarnwick.dll ..."; false when the
// registrations cannot be read.
bool readRegistrations(const char* what, std::string& line) {
    std::vector<ConduitEntry> conduits;
    if (!standin::listConduits(conduits)) return false;
    line = what;
    line += ":";
    for (const ConduitEntry& c : conduits) line += " " + creatorText(c.creator) + "=" + c.file;
    if (conduits.empty()) line += " no conduits registered";
    return true;
}

LRESULT CALLBACK managerWindow(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == standin::kRefreshMessage) {
        std::string line;
        appendLine(g_managerLog, readRegistrations("manager refreshed", line) ? line : "manager could not refresh");
        return 1;
    }
    return DefWindowProcA(window, message, w, l);
}

// Stands for the running HotSync manager: it reads the registered conduits at its start, as
// the real one does, and again when asked (HsRefreshConduitInfo), logs them, and runs until
// its hidden window is closed. Without --log it logs where the installation says.
int runManager(const HostOptions& o) {
    g_managerLog = o.log;
    standin::Installation installation;
    if (g_managerLog.empty() && standin::readInstallation(installation)) g_managerLog = installation.managerLog;
    std::string line;
    if (!readRegistrations("manager started", line)) {
        std::fprintf(stderr, "hotsync: could not read the registered conduits\n");
        return kExitRegistry;
    }

    WNDCLASSA type;
    std::memset(&type, 0, sizeof type);
    type.lpfnWndProc = managerWindow;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = standin::kManagerWindowClass;
    if (!RegisterClassA(&type) || !CreateWindowA(standin::kManagerWindowClass, "HotSync Manager", WS_OVERLAPPED, 0, 0,
                                                 0, 0, nullptr, nullptr, type.hInstance, nullptr)) {
        std::fprintf(stderr, "hotsync: could not create the manager window (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return kExitWindow;
    }
    appendLine(g_managerLog, line);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    appendLine(g_managerLog, "manager stopped");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HostOptions options;
    std::string error;
    if (!parseHostOptions(args, options, error)) {
        std::fprintf(stderr, "hotsync: %s\n%s", error.c_str(), hostUsage());
        return kExitUsage;
    }

    switch (options.verb) {
    case HostOptions::Install:
    case HostOptions::Uninstall:
        return runInstall(options);
    case HostOptions::Manager:
        return runManager(options);
    default:
        break;
    }

    StandinLogSetEcho(1);
    if (!options.log.empty()) StandinLogSetFile(options.log.c_str());
    StandinTraceKeep(0);
    if (!options.trace.empty()) StandinTraceSetFile(options.trace.c_str());

    int rc;
    if (options.verb == HostOptions::Sync && StandinDeviceLoad(options.device.c_str()) != 0) {
        std::fprintf(stderr, "hotsync: could not load the device folder %s: %s\n", options.device.c_str(),
                     StandinDeviceLoadError());
        rc = kExitDevice;
    } else {
        for (const std::string& rule : options.faults) {
            if (StandinFaultAdd(rule.c_str()) != 0) {
                std::fprintf(stderr, "hotsync: fault rule not understood: %s\n", rule.c_str());
                return kExitUsage;
            }
        }
        rc = runConduits(options);
    }
    StandinTraceSetFile(nullptr);
    StandinLogSetFile(nullptr);
    reportPeakWorkingSet();
    return rc;
}
