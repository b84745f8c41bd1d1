#include "conduit/SyncJob.h"
#include "engine/HotSyncLog.h"

SyncJob::SyncJob(const std::string& folder) : pcFolder(folder) {
    // The VFS library was bound by its member's construction; a missing library is no
    // error here, the card phase then finds no VFS support.
    cancelEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    workDone.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    progressWindow->setCancelEvent(cancelEvent.get());
}

SyncJob::~SyncJob() {
    // The window lets go of its own handle to the event, then the members go in reverse
    // order (VFS library, then this job's share of the progress window, then the lists and
    // texts). Nothing here may throw: a lock that fails leaves the window its handle.
    try {
        progressWindow->setCancelEvent(nullptr);
    } catch (...) {
    }
    cancelEvent.reset();
}

bool SyncJob::cancelSignalled() const {
    return cancelEvent && WaitForSingleObject(cancelEvent.get(), 0) == WAIT_OBJECT_0;
}

bool SyncJob::cancelRequested() const {
    if (!cancelSignalled()) return false;
    HotSyncLog("Tarnwick: User canceled, syncronization not complete");
    return true;
}
