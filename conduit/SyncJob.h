// Everything one HotSync session needs. Built on the stack of the session, lent to the
// worker thread while it runs, destroyed after the worker has ended.
#pragma once
#include <cstdint>
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
    ProgressWindow progressWindow;
    bool archive = true;
    bool skipConduitDatabases = false;
    ActionCode mainMemoryAction = ACTION_DO_NOTHING;
    ActionCode cardAction = ACTION_SYNCHRONISE;
    int32_t cardMode = 0;
    VfsLibrary vfs;
};
