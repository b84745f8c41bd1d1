#include "conduit/SyncSession.h"
#include <memory>
#include <string>
#include <utility>
#include "HotSyncApi.h"
#include "dllshared/DllEdge.h"
#include "engine/HotSyncLog.h"
#include "conduit/SyncDriver.h"
#include "conduit/SyncJob.h"
#include "conduit/VersionLine.h"
#include "settings/Settings.h"

namespace {
// The worker gives the window thread this head start before the driver's first step, so
// that the window normally exists when the work begins: the first texts and the bar's range
// go straight to it, and Cancel can be pressed from the start. Nothing relies on it for
// correctness: texts set earlier wait in the window object, and a close asked for before
// the window exists closes it as soon as it appears.
constexpr DWORD kWorkerHeadStartMs = 100;
// How often the worker repeats its close request while it waits for the window.
constexpr DWORD kWindowCloseWaitMs = 1000;
// Exit codes of the two threads; no one reads them but a debugger.
constexpr DWORD kThreadEnded = 0;
constexpr DWORD kThreadFailed = 1;

// Runs a thread's body; an exception it throws is reported (by default its one log line)
// and ends the thread, never the process.
template <typename Body, typename Report = void (*)(const char*, const char*)>
DWORD threadBody(const char* name, Body&& body, Report report = &LogContained) noexcept {
    return edge::Contained(name, kThreadFailed, [&] {
        body();
        return kThreadEnded;
    }, report);
}

// Waits up to boundMs for the handle, in slices of at most sliceMs, calling step() before
// each slice. Answers false when the bound passed with the handle still unsignalled.
template <typename Step>
bool waitBounded(HANDLE handle, DWORD boundMs, DWORD sliceMs, Step&& step) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed < boundMs ? boundMs - elapsed : 0;
        step();
        if (WaitForSingleObject(handle, left < sliceMs ? left : sliceMs) != WAIT_TIMEOUT) return true;
        if (left <= sliceMs) return false;
    }
}

// What a thread of the session owns. The thread holds a reference to this module from its
// start and lets go of it as its very last act (FreeLibraryAndExitThread): a HotSync thread
// that stopped waiting may return and the host free the conduit, and the module stays
// mapped until the thread is out of it.
struct ThreadStart {
    virtual ~ThreadStart() = default;
    virtual DWORD run() noexcept = 0;
    HMODULE module = nullptr;
};

DWORD WINAPI threadEntry(void* parameter) {
    HMODULE module = nullptr;
    DWORD code = kThreadFailed;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
        module = start->module;
        code = start->run();
    }  // what the thread shared (the job, the window) is let go of here, inside the module
    if (module) FreeLibraryAndExitThread(module, code);
    return code;
}

// Starts the thread, which then owns `start`; answers no handle (and leaves `start` with the
// caller) when no thread could be made.
OwnedHandle startThread(std::unique_ptr<ThreadStart>& start) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&threadEntry), &module))
        module = nullptr;
    start->module = module;
    OwnedHandle thread(CreateThread(nullptr, 0, &threadEntry, start.get(), 0, nullptr));
    if (thread) {
        start.release();
    } else {
        start->module = nullptr;
        if (module) FreeLibrary(module);
    }
    return thread;
}

struct WindowStart final : ThreadStart {
    explicit WindowStart(std::shared_ptr<ProgressWindow> w) : window(std::move(w)) {}
    DWORD run() noexcept override {
        ProgressWindow& shown = *window;
        return threadBody("the progress window's thread", [&] { shown.runModal(); },
                          [&](const char* entry, const char* description) { shown.keepFailure(entry, description); });
    }
    std::shared_ptr<ProgressWindow> window;
};

// The window thread, started on construction. On every way out of the worker, also when the
// driver threw, the window is asked to close (again every second) and the thread waited for,
// up to the bound; then the lines the window thread kept are logged. Never throws: it runs
// while the driver's exception unwinds.
class WindowThread {
public:
    WindowThread(std::shared_ptr<ProgressWindow> window, DWORD boundMs) : window_(std::move(window)), boundMs_(boundMs) {
        std::unique_ptr<ThreadStart> start = std::make_unique<WindowStart>(window_);
        thread_ = startThread(start);
    }
    ~WindowThread() {
        try {
            waitForEnd();
        } catch (...) {
            // A lock or a log line that failed: the worker still ends.
        }
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

private:
    void waitForEnd() {
        if (thread_ && !waitBounded(thread_.get(), boundMs_, kWindowCloseWaitMs, [this] { window_->close(); }))
            HotSyncLog("Tarnwick: the progress window did not close within " + std::to_string(boundMs_ / 1000) +
                       " s; the HotSync ends without it");
        window_->logKeptFailures();
    }

    std::shared_ptr<ProgressWindow> window_;
    DWORD boundMs_;
    OwnedHandle thread_;
};

// Sets the event when it goes out of scope, however that happens.
class SetOnExit {
public:
    explicit SetOnExit(HANDLE event) : event_(event) {}
    ~SetOnExit() {
        if (event_) SetEvent(event_);
    }
    SetOnExit(const SetOnExit&) = delete;
    SetOnExit& operator=(const SetOnExit&) = delete;

private:
    HANDLE event_;
};

// A worker that died has not carried its HotSync through: after the line that says why,
// the HotSync ends with the error summary, as every other failed one does. (The driver
// writes the summary last, so a worker that threw has not written one yet.)
void reportWorkerDeath(const char* entry, const char* description) {
    LogContained(entry, description);
    LogSummary(true);
}

struct WorkerStart final : ThreadStart {
    DWORD run() noexcept override {
        DWORD code = threadBody("the HotSync worker", [this] {
            WindowThread window(job->progressWindow, windowCloseBoundMs);
            // Destroyed before the window: the HotSync thread's bound starts with the end
            // of the driver, also when it threw.
            SetOnExit done(job->workDone.get());
            Sleep(kWorkerHeadStartMs);
            driver(*job, *settings);
        }, &reportWorkerDeath);
        if (job->workDone) SetEvent(job->workDone.get());
        return code;
    }
    std::shared_ptr<SyncJob> job;
    Settings* settings = nullptr;
    void (*driver)(SyncJob&, Settings&) = nullptr;
    DWORD windowCloseBoundMs = 0;
};

std::string textField(const char* field, size_t capacity) {
    size_t n = 0;
    while (n < capacity && field[n]) ++n;  // the record's text may lack its terminator
    return std::string(field, n);
}
}  // namespace

void RunSession(const SyncProperties& properties, Settings& settings, const SessionHooks& hooks) {
    HotSyncLog(VersionLine());
    const std::string user = textField(properties.userName, sizeof properties.userName);
    {
        auto job = std::make_shared<SyncJob>(textField(properties.pcFolder, sizeof properties.pcFolder));
        // The user name goes in before the settings are read: they are the user's.
        job->userName = user;
        job->archive = settings.archiveEnabled(job->userName);
        job->mainMemoryAction = ACTION_DO_NOTHING;
        // HotSync's sync type is an action code. Only 0 to 3 reach a session: OpenConduit
        // ends every other type (4 and 5 included) at once, without a line.
        job->cardAction = static_cast<ActionCode>(properties.syncType);
        job->skipConduitDatabases = !settings.backupConduitDatabases(job->userName);

        auto start = std::make_unique<WorkerStart>();
        start->job = job;
        start->settings = &settings;
        start->driver = hooks.driver ? hooks.driver : &RunDriver;
        start->windowCloseBoundMs = hooks.windowCloseBoundMs;
        std::unique_ptr<ThreadStart> worker = std::move(start);
        OwnedHandle thread = startThread(worker);
        if (thread) {
            auto yield = [&] {
                if (hooks.yield)
                    hooks.yield(hooks.yieldUser);
                else
                    SyncYieldCycles(1);
            };
            // The driver's work has no bound; once it is done, the worker's end has one.
            HANDLE waits[] = {thread.get(), job->workDone.get()};
            const DWORD count = job->workDone ? 2 : 1;
            DWORD woke;
            while ((woke = WaitForMultipleObjects(count, waits, FALSE, hooks.yieldIntervalMs)) == WAIT_TIMEOUT) yield();
            if (woke != WAIT_OBJECT_0 && !waitBounded(thread.get(), hooks.workerEndBoundMs, hooks.yieldIntervalMs, yield))
                HotSyncLog("Tarnwick: the HotSync worker did not end within " + std::to_string(hooks.workerEndBoundMs / 1000) +
                           " s; the HotSync ends without it");
        } else {
            // Without a thread of its own the session still runs, here, rather than
            // ending silently with nothing done and nothing said.
            worker->run();
        }
    }
    settings.copyPermanentToTemporary(user);
}
