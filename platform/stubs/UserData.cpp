// Stand-in user data library (UserData.dll): users and their per-conduit values come from
// device.ini.
#define HOTSYNC_BUILDING_STANDIN
#include "HotSyncApi.h"
#include "platform/stubs/StandinBridge.h"

extern "C" {
HsResult HSAPI UdUserByFolder(const char* folder, uint32_t* user) { return StandinUdUserByFolder(folder, user); }
HsResult HSAPI UdUserValueA(uint32_t user, uint32_t creator, int32_t* value) {
    return StandinUdUserValueA(user, creator, value);
}
HsResult HSAPI UdUserValueB(uint32_t user, uint32_t creator, int32_t* value) {
    return StandinUdUserValueB(user, creator, value);
}
}
