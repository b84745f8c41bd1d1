// The exports HotSync calls. Each checks its arguments in a fixed order, answers a result
// code and leaves the work to the conduit object.
#include <cstring>
#include <string>
#include "HotSyncApi.h"
#include "conduit/ConduitExports.h"
#include "conduit/ConduitObject.h"
#include "engine/HotSyncLog.h"

namespace {
constexpr int32_t kConduitVersion = 0x101;
constexpr uint32_t kConfigRecordSize = 352;

// Copies the name into the first length - 1 bytes, padding with zeros, and always
// terminates inside the buffer. A length of 0 leaves no room even for the terminator,
// so nothing is written.
void copyName(char* buffer, uint16_t length) {
    if (length == 0) return;
    std::string name;
    TheConduit().GetName(name);
    size_t room = static_cast<size_t>(length) - 1;
    size_t n = name.size() < room ? name.size() : room;
    std::memcpy(buffer, name.data(), n);
    std::memset(buffer + n, 0, length - n);
}
}  // namespace

extern "C" {

int32_t __cdecl GetConduitVersion(void) { return kConduitVersion; }

int32_t __cdecl GetConduitName(char* buffer, uint16_t length) {
    if (buffer) copyName(buffer, length);
    return CONDUIT_OK;
}

int32_t __cdecl GetConduitInfo(int32_t kind, void* /*in*/, void* out, uint32_t* size) {
    if (!out) return CONDUIT_INFO_NO_OUTPUT;
    if (!size) return CONDUIT_INFO_NO_SIZE;
    switch (kind) {
    case 0:
        copyName(static_cast<char*>(out), static_cast<uint16_t>(*size & 0xFFFF));
        return CONDUIT_OK;
    case 1:
    case 2: {
        if (*size != 4) return CONDUIT_INFO_BAD_SIZE;
        uint32_t value = kind == 1 ? 0x10000000u : 0u;
        std::memcpy(out, &value, sizeof value);
        return CONDUIT_OK;
    }
    default:
        return CONDUIT_INFO_UNKNOWN_KIND;
    }
}

int32_t __cdecl CfgConduit(int32_t configType, ConduitConfigRecord* record, int32_t* size) {
    if (!record) return CONDUIT_CFG_NO_RECORD;
    if (!size) return CONDUIT_CFG_NO_SIZE;
    if (static_cast<uint32_t>(*size) != kConfigRecordSize) return CONDUIT_CFG_BAD_SIZE;
    if (configType != 0) return CONDUIT_CFG_BAD_TYPE;
    if (record->version != 1) return CONDUIT_CFG_BAD_VERSION;
    TheConduit().ConfigureAction(0, record, size);
    return CONDUIT_OK;
}

int32_t __cdecl ConfigureConduit(void* argument) {
    TheConduit().Configure(argument);
    return CONDUIT_OK;
}

int32_t __cdecl OpenConduit(void* /*unused*/, SyncProperties* properties) {
    if (!properties) return CONDUIT_OK;
    switch (properties->syncType) {
    case SYNC_TYPE_SYNCHRONISE:
    case SYNC_TYPE_SLOW:
    case SYNC_TYPE_HH_TO_PC:
    case SYNC_TYPE_PC_TO_HH: {
        uint32_t handle = 0;
        HsResult registered = SmRegisterConduit(&handle);
        if (registered != 0) return registered;
        TheConduit().Synchronize(properties);
        SmUnregisterConduit(handle);
        return CONDUIT_OK;
    }
    case SYNC_TYPE_DO_NOTHING: {
        std::string name;
        TheConduit().GetName(name);
        HotSyncLog(name + " Conduit configured to Do Nothing");
        return CONDUIT_OK;
    }
    default:
        return CONDUIT_OK;
    }
}

}  // extern "C"
