// Stand-in conduit manager (CONDMGR.dll): the installed conduits come from device.ini.
#define HOTSYNC_BUILDING_STANDIN
#include "HotSyncApi.h"
#include "platform/stubs/StandinBridge.h"

extern "C" {
int32_t HSAPI CmConduitCount(void) { return StandinCmConduitCount(); }
HsResult HSAPI CmConduitList(CmConduitEntry* entries, int32_t* count) { return StandinCmConduitList(entries, count); }
HsResult HSAPI CmEntryCreator(CmConduitEntry* entry, uint32_t* creator) { return StandinCmEntryCreator(entry, creator); }
}
