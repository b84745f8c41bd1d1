// hotsync.exe: the stand-in HotSync manager. It loads a conduit DLL by path, identifies it
// and runs one HotSync (OpenConduit) against the simulated handheld, or opens the conduit's
// settings (CfgConduit). The conduit sees only the SDK's records and libraries.
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

namespace {

// Exit codes of the host itself, for failures before the conduit was asked anything.
enum { kExitUsage = 250, kExitDevice = 251, kExitConduit = 252 };

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

std::string besideHost(const char* file) {
    char path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
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
}

void copyText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::strncpy(field, text.c_str(), size - 1);
}

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
    if (StandinDeviceSave() != 0) std::fprintf(stderr, "hotsync: could not write the device folder back\n");
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HostOptions options;
    std::string error;
    if (!parseHostOptions(args, options, error)) {
        std::fprintf(stderr, "hotsync: %s\n%s", error.c_str(), hostUsage());
        return kExitUsage;
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
        std::string path = options.conduit.empty() ? besideHost("Tarnwick.dll") : options.conduit;
        Module conduit(path);
        if (!conduit.get()) {
            std::fprintf(stderr, "hotsync: could not load the conduit %s (error %lu)\n", path.c_str(),
                         static_cast<unsigned long>(GetLastError()));
            rc = kExitConduit;
        } else {
            identify(conduit);
            rc = options.verb == HostOptions::Sync ? runSync(options, conduit) : runConfigure(options, conduit);
        }
    }
    StandinTraceSetFile(nullptr);
    StandinLogSetFile(nullptr);
    reportPeakWorkingSet();
    return rc;
}
