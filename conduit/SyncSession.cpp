#include "conduit/SyncSession.h"
#include <string>
#include "HotSyncApi.h"
#include "engine/HotSyncLog.h"
#include "conduit/SyncDriver.h"
#include "conduit/SyncJob.h"
#include "conduit/VersionLine.h"
#include "settings/Settings.h"

namespace {
constexpr DWORD kWorkerHeadStartMs = 100;
constexpr DWORD kWindowCloseWaitMs = 1000;

struct WorkerArgs {
    SyncJob* job;
    Settings* settings;
    void (*driver)(SyncJob&, Settings&);
};

DWORD WINAPI windowThread(void* parameter) {
    static_cast<SyncJob*>(parameter)->progressWindow.runModal();
    return 0;
}

DWORD WINAPI workerThread(void* parameter) {
    WorkerArgs& args = *static_cast<WorkerArgs*>(parameter);
    SyncJob& job = *args.job;
    OwnedHandle window(CreateThread(nullptr, 0, &windowThread, &job, 0, nullptr));
    Sleep(kWorkerHeadStartMs);
    args.driver(job, *args.settings);
    // The window thread uses the job's progress window object, so the job must not be
    // destroyed before that thread has really ended: ask the window to close and keep
    // waiting, a second at a time, until it has. A window still being created when the
    // driver ends sees the close request as soon as it appears.
    if (window) {
        while (WaitForSingleObject(window.get(), 0) == WAIT_TIMEOUT) {
            job.progressWindow.close();
            if (WaitForSingleObject(window.get(), kWindowCloseWaitMs) != WAIT_TIMEOUT) break;
        }
    }
    return 0;
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
