// Stand-in conduit manager (CONDMGR.dll): the installed conduits of the conduit-database
// step come from device.ini; the registration calls keep their conduits in the registry
// (StandinRegistry.h), as the real manager does.
#define HOTSYNC_BUILDING_STANDIN
#include "ConduitRegistration.h"
#include "HotSyncApi.h"
#include "platform/stubs/StandinBridge.h"
#include "platform/stubs/StandinRegistry.h"

#include <cstring>

namespace {
void fill(const ConduitEntry& entry, CmRegistration* out) {
    std::memset(out, 0, sizeof *out);
    out->creator = entry.creator;
    out->priority = entry.priority;
    std::strncpy(out->path, entry.path.c_str(), sizeof out->path - 1);
    std::strncpy(out->name, entry.name.c_str(), sizeof out->name - 1);
}

HsResult resultOf(standin::Found found) {
    switch (found) {
    case standin::Found::Yes:
        return 0;
    case standin::Found::No:
        return CM_ERR_NOT_REGISTERED;
    case standin::Found::Failed:
        break;
    }
    return CM_ERR_REGISTRY;
}
}  // namespace

extern "C" {
int32_t HSAPI CmConduitCount(void) { return StandinCmConduitCount(); }
HsResult HSAPI CmConduitList(CmConduitEntry* entries, int32_t* count) { return StandinCmConduitList(entries, count); }
HsResult HSAPI CmEntryCreator(CmConduitEntry* entry, uint32_t* creator) { return StandinCmEntryCreator(entry, creator); }

HsResult HSAPI CmRegisterConduit(uint32_t creator, const char* path, const char* name, int32_t priority) {
    if (!path || !name) return CM_ERR_BAD_ARGUMENT;
    ConduitEntry wanted;
    wanted.creator = creator;
    wanted.priority = priority;
    wanted.path = path;
    wanted.name = name;
    ConduitEntry existing;
    standin::Found found = standin::readConduit(creator, existing);
    if (found == standin::Found::Failed) return CM_ERR_REGISTRY;
    switch (registerOutcome(found == standin::Found::Yes ? &existing : nullptr, wanted)) {
    case RegisterOutcome::Refused:
        return CM_ERR_BAD_ARGUMENT;
    case RegisterOutcome::Taken:
        return CM_ERR_CREATOR_TAKEN;
    case RegisterOutcome::Store:
        break;
    }
    return standin::writeConduit(wanted) ? 0 : CM_ERR_REGISTRY;
}

HsResult HSAPI CmUnregisterConduit(uint32_t creator) { return resultOf(standin::deleteConduit(creator)); }

HsResult HSAPI CmRegistrationByCreator(uint32_t creator, CmRegistration* out) {
    if (!out) return CM_ERR_BAD_ARGUMENT;
    ConduitEntry entry;
    HsResult r = resultOf(standin::readConduit(creator, entry));
    if (r == 0) fill(entry, out);
    return r;
}

HsResult HSAPI CmRegistrationAt(int32_t index, CmRegistration* out) {
    if (!out || index < 0) return CM_ERR_BAD_ARGUMENT;
    std::vector<ConduitEntry> all;
    if (!standin::listConduits(all)) return CM_ERR_REGISTRY;
    if (static_cast<size_t>(index) >= all.size()) return CM_ERR_NOT_REGISTERED;
    fill(all[static_cast<size_t>(index)], out);
    return 0;
}
}
