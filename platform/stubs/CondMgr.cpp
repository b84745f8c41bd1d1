// Stand-in conduit manager (CONDMGR.dll): the registration calls keep their conduits in the
// registry (StandinRegistry.h); the conduit-database ordinals answer from the same
// registrations, traced and open to injected failures through SYNC20.dll like the device's
// calls.
#define HOTSYNC_BUILDING_STANDIN
#include "ConduitRegistration.h"
#include "HotSyncApi.h"
#include "platform/stubs/StandinBridge.h"
#include "platform/stubs/StandinRegistry.h"

#include <cstdio>
#include <functional>

namespace {

// What a call that needs the creator's registration answers when it was looked for.
int resultOf(standin::Found found) {
    switch (found) {
    case standin::Found::Yes:
        return 0;
    case standin::Found::No:
        return CM_ERR_NO_SUCH_CONDUIT;
    case standin::Found::Failed:
        break;
    }
    return CM_ERR_REGISTRY;
}

// The creator's registration: 0, or the call's failure.
int readRegistration(const char* creatorText, ConduitEntry& entry) {
    uint32_t creator = 0;
    if (!parseCreator(creatorText, creator)) return CM_ERR_BAD_CREATOR;
    return resultOf(standin::readConduit(creator, entry));
}

// The creator's registration read, changed by change and written back; the change answers
// false to refuse its argument.
int changeRegistration(const char* creatorText, const std::function<bool(ConduitEntry&)>& change) {
    ConduitEntry entry;
    int r = readRegistration(creatorText, entry);
    if (r != 0) return r;
    if (!change(entry)) return CM_ERR_BAD_ARGUMENT;
    return standin::writeConduit(entry) ? 0 : CM_ERR_REGISTRY;
}

int setText(const char* creator, CreatorText which, const char* value) {
    return changeRegistration(creator, [&](ConduitEntry& e) {
        if (!isValidText(which, value)) return false;
        (which == CreatorText::Name ? e.name : which == CreatorText::File ? e.file : e.directory) = value;
        return true;
    });
}

int getText(const char* creatorText, bool file, char* buffer, int* size) {
    ConduitEntry entry;
    int r = readRegistration(creatorText, entry);
    return r != 0 ? r : copyOut(file ? entry.file : entry.name, buffer, size);
}

int32_t countEffect(void*, char* note, uint32_t noteSize) {
    std::vector<ConduitEntry> all;
    if (!standin::listConduits(all)) return CM_ERR_REGISTRY;
    std::snprintf(note, noteSize, "count=%u", static_cast<unsigned>(all.size()));
    return static_cast<int32_t>(all.size());
}

struct ListRequest {
    CmConduitEntry* entries;
    int32_t* count;
};

int32_t listEffect(void* context, char* note, uint32_t noteSize) {
    ListRequest& r = *static_cast<ListRequest*>(context);
    if (!r.entries || !r.count || *r.count < 0) return CM_ERR_BAD_ARGUMENT;
    std::vector<ConduitEntry> all;
    if (!standin::listConduits(all)) return CM_ERR_REGISTRY;
    int32_t n = 0;
    for (; n < *r.count && static_cast<size_t>(n) < all.size(); ++n)
        fillConduitEntry(r.entries[n].bytes, static_cast<uint32_t>(n), all[static_cast<size_t>(n)].creator);
    *r.count = n;
    std::snprintf(note, noteSize, "filled=%d", static_cast<int>(n));
    return 0;
}

struct CreatorRequest {
    CmConduitEntry* entry;
    uint32_t* creator;
};

int32_t creatorEffect(void* context, char* note, uint32_t noteSize) {
    CreatorRequest& r = *static_cast<CreatorRequest*>(context);
    if (!r.entry || !r.creator || !conduitEntryCreator(r.entry->bytes, *r.creator)) return CM_ERR_BAD_ARGUMENT;
    std::snprintf(note, noteSize, "creator=%s", creatorText(*r.creator).c_str());
    return 0;
}

}  // namespace

extern "C" {
int32_t CONDMGR_API CmConduitCount(void) { return StandinCmCall("CmConduitCount", countEffect, nullptr); }

HsResult CONDMGR_API CmConduitList(CmConduitEntry* entries, int32_t* count) {
    ListRequest request{entries, count};
    return StandinCmCall("CmConduitList", listEffect, &request);
}

HsResult CONDMGR_API CmEntryCreator(CmConduitEntry* entry, uint32_t* creator) {
    CreatorRequest request{entry, creator};
    return StandinCmCall("CmEntryCreator", creatorEffect, &request);
}

int CONDMGR_API CmInstallCreator(const char* creatorText, int type) {
    uint32_t creator = 0;
    if (!parseCreator(creatorText, creator)) return CM_ERR_BAD_CREATOR;
    if (type != CM_TYPE_COMPONENT && type != CM_TYPE_APPLICATION) return CM_ERR_BAD_ARGUMENT;
    ConduitEntry entry;
    switch (standin::readConduit(creator, entry)) {
    case standin::Found::Yes:
        return CM_ERR_CREATOR_IN_USE;
    case standin::Found::Failed:
        return CM_ERR_REGISTRY;
    case standin::Found::No:
        break;
    }
    entry = ConduitEntry();
    entry.creator = creator;
    entry.type = type;
    entry.priority = CM_PRIORITY_USUAL;
    return standin::writeConduit(entry) ? 0 : CM_ERR_REGISTRY;
}

int CONDMGR_API CmSetCreatorName(const char* creator, const char* name) {
    return setText(creator, CreatorText::Name, name);
}
int CONDMGR_API CmSetCreatorFile(const char* creator, const char* file) {
    return setText(creator, CreatorText::File, file);
}
int CONDMGR_API CmSetCreatorDirectory(const char* creator, const char* folder) {
    return setText(creator, CreatorText::Directory, folder);
}

int CONDMGR_API CmSetCreatorPriority(const char* creator, uint32_t priority) {
    return changeRegistration(creator, [&](ConduitEntry& e) {
        if (priority > CM_PRIORITY_MAX) return false;
        e.priority = static_cast<int32_t>(priority);
        return true;
    });
}

int CONDMGR_API CmGetCreatorFile(const char* creator, char* buffer, int* size) {
    return getText(creator, true, buffer, size);
}
int CONDMGR_API CmGetCreatorName(const char* creator, char* buffer, int* size) {
    return getText(creator, false, buffer, size);
}

int CONDMGR_API CmRemoveConduitByCreatorID(const char* creatorText) {
    uint32_t creator = 0;
    if (!parseCreator(creatorText, creator)) return CM_ERR_BAD_CREATOR;
    return resultOf(standin::deleteConduit(creator));
}
}
