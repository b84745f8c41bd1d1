// Everything one HotSync session needs. Shared by the HotSync thread and the worker, so that
// it lives until both are done with it, also when the HotSync thread stopped waiting for a
// worker that did not end.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "card/VfsLibrary.h"
#include "engine/Win32Handles.h"
#include "conduit/ProgressWindow.h"
#include "engine/ActionCode.h"
#include "engine/CreatorList.h"

class SyncJob {
public:
    explicit SyncJob(const std::string& pcFolder);
    ~SyncJob();
    SyncJob(const SyncJob&) = delete;
    SyncJob& operator=(const SyncJob&) = delete;

    // True once the progress window's Cancel has been pressed; logs nothing.
    bool cancelSignalled() const;
    // The driver's test between steps: logs the cancel line when it answers true.
    bool cancelRequested() const;

    std::string userName;
    std::string pcFolder;
    std::vector<uint16_t> volumes;
    CreatorList creators;
    int32_t lastHandheldResult = 0;
    int32_t stepCode = 0;
    OwnedHandle cancelEvent;
    // Set by the worker when the driver is done: from then on the HotSync thread's wait for
    // the worker to end is bounded.
    OwnedHandle workDone;
    // Shared with the window thread, which may outlive the job.
    std::shared_ptr<ProgressWindow> progressWindow = std::make_shared<ProgressWindow>();
    bool archive = true;
    bool skipConduitDatabases = false;
    ActionCode mainMemoryAction = ACTION_DO_NOTHING;
    ActionCode cardAction = ACTION_SYNCHRONISE;
    int32_t cardMode = 0;
    VfsLibrary vfs;
};
