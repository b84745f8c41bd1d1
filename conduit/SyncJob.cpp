#include "conduit/SyncJob.h"
#include "engine/HotSyncLog.h"

SyncJob::SyncJob(const std::string& folder) : pcFolder(folder) {
    // The VFS library was bound by its member's construction; a missing library is no
    // error here, the card phase then finds no VFS support.
    cancelEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    progressWindow.setCancelEvent(cancelEvent.get());
}

SyncJob::~SyncJob() {
    // The event first; the members then go in reverse order (VFS library, then the
    // progress window object, then the lists and texts).
    progressWindow.setCancelEvent(nullptr);
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
