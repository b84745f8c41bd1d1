// Calls that the stand-in SYNC20.dll exports for the other stand-in libraries, so that
// vfsapi.dll and UserData.dll reach the same simulated handheld (each has the signature of
// the library call it serves), and CONDMGR.dll's calls share its trace and injected failures.
#pragma once
#include <stdint.h>
#include "HotSyncApi.h"
#include "VfsApi.h"
#include "platform/handheld/StandinDevice.h"

#ifdef __cplusplus
extern "C" {
#endif
VfsResult STANDIN_DEVICE_API StandinVfsDirCreate(VfsVolume volume, const char* dirName);
VfsResult STANDIN_DEVICE_API StandinVfsFileClose(VfsFileRef file);
VfsResult STANDIN_DEVICE_API StandinVfsFileDelete(VfsVolume volume, const char* name);
VfsResult STANDIN_DEVICE_API StandinVfsFileGet(VfsVolume volume, const char* cardName, const char* pcPath);
VfsResult STANDIN_DEVICE_API StandinVfsFileGetAttributes(VfsFileRef file, uint32_t* attributes);
VfsResult STANDIN_DEVICE_API StandinVfsFileGetDate(VfsFileRef file, uint16_t which, uint32_t* date);
VfsResult STANDIN_DEVICE_API StandinVfsFileOpen(VfsVolume volume, const char* name, uint16_t mode, VfsFileRef* file);
VfsResult STANDIN_DEVICE_API StandinVfsFilePut(VfsVolume volume, const char* cardName, const char* pcPath);
VfsResult STANDIN_DEVICE_API StandinVfsFileRename(VfsVolume volume, const char* name, const char* newBaseName);
VfsResult STANDIN_DEVICE_API StandinVfsFileSize(VfsFileRef file, uint32_t* size);
VfsResult STANDIN_DEVICE_API StandinVfsSupport(uint32_t* a, uint32_t* b);
VfsResult STANDIN_DEVICE_API StandinVfsVolumeEnumerate(uint16_t* count, VfsVolume* volumes);
VfsResult STANDIN_DEVICE_API StandinVfsVolumeGetLabel(VfsVolume volume, char* label, uint32_t* length);
VfsResult STANDIN_DEVICE_API StandinVfsVolumeSetLabel(VfsVolume volume, const char* label);

// One conduit-manager call: traced and open to injected failures like the device's calls,
// answered by CONDMGR.dll's own effect (which needs no device). The effect may leave a
// note for the trace.
typedef int32_t (*StandinCmEffect)(void* context, char* note, uint32_t noteSize);
int32_t STANDIN_DEVICE_API StandinCmCall(const char* call, StandinCmEffect effect, void* context);
HsResult STANDIN_DEVICE_API StandinUdUserByFolder(const char* folder, uint32_t* user);
HsResult STANDIN_DEVICE_API StandinUdUserValueA(uint32_t user, uint32_t creator, int32_t* value);
HsResult STANDIN_DEVICE_API StandinUdUserValueB(uint32_t user, uint32_t creator, int32_t* value);
#ifdef __cplusplus
}
#endif
