#include "conduit/SyncSession.h"
#include <string>
#include "HotSyncApi.h"
#include "conduit/DllEdge.h"
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
constexpr DWORD kWindowCloseWaitMs = 1000;
// Exit codes of the two threads; no one reads them but a debugger.
constexpr DWORD kThreadEnded = 0;
constexpr DWORD kThreadFailed = 1;

struct WorkerArgs {
    SyncJob* job;
    Settings* settings;
    void (*driver)(SyncJob&, Settings&);
};

// Runs a thread's body; an exception it throws is reported (by default its one log line)
// and ends the thread, never the process.
template <typename Body, typename Report = void (*)(const char*, const char*)>
DWORD threadBody(const char* name, Body&& body, Report report = &LogContained) noexcept {
    return edge::Contained(name, kThreadFailed, [&] {
        body();
        return kThreadEnded;
    }, report);
}

// A worker that died has not carried its HotSync through: after the line that says why,
// the HotSync ends with the error summary, as every other failed one does. (The driver
// writes the summary last, so a worker that threw has not written one yet.)
void reportWorkerDeath(const char* entry, const char* description) {
    LogContained(entry, description);
    LogSummary(true);
}

DWORD WINAPI windowThread(void* parameter) {
    return threadBody("the progress window's thread",
                      [parameter] { static_cast<SyncJob*>(parameter)->progressWindow.runModal(); });
}

// The window thread, started on construction. It uses the job's progress window object, so
// the job must not be destroyed before that thread has really ended: on every way out of
// the worker, also when the driver threw, the window is asked to close and the thread is
// waited for, a second at a time, until it has ended. A window still being created sees the
// close request as soon as it appears.
class WindowThread {
public:
    explicit WindowThread(SyncJob& job)
        : job_(job), thread_(CreateThread(nullptr, 0, &windowThread, &job, 0, nullptr)) {}
    ~WindowThread() {
        if (!thread_) return;
        while (WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT) {
            job_.progressWindow.close();
            if (WaitForSingleObject(thread_.get(), kWindowCloseWaitMs) != WAIT_TIMEOUT) break;
        }
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

private:
    SyncJob& job_;
    OwnedHandle thread_;
};

DWORD WINAPI workerThread(void* parameter) {
    return threadBody("the HotSync worker", [parameter] {
        WorkerArgs& args = *static_cast<WorkerArgs*>(parameter);
        WindowThread window(*args.job);
        Sleep(kWorkerHeadStartMs);
        args.driver(*args.job, *args.settings);
    }, &reportWorkerDeath);
}

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
        SyncJob job(textField(properties.pcFolder, sizeof properties.pcFolder));
        // The user name goes in before the settings are read: they are the user's.
        job.userName = user;
        job.archive = settings.archiveEnabled(job.userName);
        job.mainMemoryAction = ACTION_DO_NOTHING;
        // HotSync's sync type is an action code; one this conduit does not know is kept as
        // it is (the type holds every 32-bit value) and the engine treats it as synchronise.
        job.cardAction = static_cast<ActionCode>(properties.syncType);
        job.skipConduitDatabases = !settings.backupConduitDatabases(job.userName);

        WorkerArgs args{&job, &settings, hooks.driver ? hooks.driver : &RunDriver};
        OwnedHandle worker(CreateThread(nullptr, 0, &workerThread, &args, 0, nullptr));
        if (worker) {
            while (WaitForSingleObject(worker.get(), hooks.yieldIntervalMs) == WAIT_TIMEOUT) {
                if (hooks.yield)
                    hooks.yield(hooks.yieldUser);
                else
                    SyncYieldCycles(1);
            }
        } else {
            // Without a thread of its own the session still runs, here, rather than
            // ending silently with nothing done and nothing said.
            workerThread(&args);
        }
    }
    settings.copyPermanentToTemporary(user);
}
