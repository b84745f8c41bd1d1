// The exports HotSync calls. Each checks its arguments in a fixed order, answers a result
// code and leaves the work to the conduit object. No exception leaves an export: each body
// runs through guarded(), which logs what stopped it and answers the failure value.
#include <cstring>
#include <string>
#include "HotSyncApi.h"
#include "conduit/ConduitExports.h"
#include "conduit/ConduitObject.h"
#include "dllshared/DllEdge.h"
#include "engine/ActionCode.h"
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

template <typename Body>
int32_t guarded(const char* entry, int32_t failure, Body&& body) noexcept {
    return edge::Contained(entry, failure, body, &LogContained);
}

// Unregisters from the Sync Manager on every way out of the session.
class Registration {
public:
    Registration() : result_(SmRegisterConduit(&handle_)) {}
    ~Registration() {
        if (result_ == 0) SmUnregisterConduit(handle_);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    HsResult result() const { return result_; }

private:
    uint32_t handle_ = 0;
    HsResult result_;
};

// The exports' bodies; each may throw, the exports below contain it.
int32_t conduitInfo(int32_t kind, void* out, uint32_t* size) {
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

int32_t cfgConduit(int32_t configType, ConduitConfigRecord* record, int32_t* size) {
    if (!record) return CONDUIT_CFG_NO_RECORD;
    if (!size) return CONDUIT_CFG_NO_SIZE;
    if (static_cast<uint32_t>(*size) != kConfigRecordSize) return CONDUIT_CFG_BAD_SIZE;
    if (configType != 0) return CONDUIT_CFG_BAD_TYPE;
    if (record->version != 1) return CONDUIT_CFG_BAD_VERSION;
    TheConduit().ConfigureAction(0, record, size);
    return CONDUIT_OK;
}

int32_t openConduit(SyncProperties* properties) {
    if (!properties) return CONDUIT_OK;
    switch (properties->syncType) {
    case ACTION_SYNCHRONISE:
    case ACTION_SLOW:
    case ACTION_HH_OVERWRITES:
    case ACTION_PC_OVERWRITES: {
        Registration registration;
        if (registration.result() != 0) return registration.result();
        TheConduit().Synchronize(properties);
        return CONDUIT_OK;
    }
    case ACTION_DO_NOTHING: {
        std::string name;
        TheConduit().GetName(name);
        HotSyncLog(name + " Conduit configured to Do Nothing");
        return CONDUIT_OK;
    }
    default:
        return CONDUIT_OK;
    }
}
}  // namespace

extern "C" {

int32_t __cdecl GetConduitVersion(void) {
    return guarded("GetConduitVersion", 0, [] { return kConduitVersion; });
}

int32_t __cdecl GetConduitName(char* buffer, uint16_t length) {
    return guarded("GetConduitName", CONDUIT_FAILED, [&] {
        if (buffer) copyName(buffer, length);
        return int32_t{CONDUIT_OK};
    });
}

int32_t __cdecl GetConduitInfo(int32_t kind, void* /*in*/, void* out, uint32_t* size) {
    return guarded("GetConduitInfo", CONDUIT_FAILED, [&] { return conduitInfo(kind, out, size); });
}

int32_t __cdecl CfgConduit(int32_t configType, ConduitConfigRecord* record, int32_t* size) {
    return guarded("CfgConduit", CONDUIT_FAILED, [&] { return cfgConduit(configType, record, size); });
}

int32_t __cdecl ConfigureConduit(void* argument) {
    return guarded("ConfigureConduit", CONDUIT_FAILED, [&] {
        TheConduit().Configure(argument);
        return int32_t{CONDUIT_OK};
    });
}

int32_t __cdecl OpenConduit(void* /*unused*/, SyncProperties* properties) {
    return guarded("OpenConduit", CONDUIT_FAILED, [&] { return openConduit(properties); });
}

}  // extern "C"
