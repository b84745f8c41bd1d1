// The desktop VFS access library (vfsapi.dll), loaded by name at run time.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VFS_BUILDING_STANDIN)
#define VFSAPI __declspec(dllexport) __cdecl
#else
#define VFSAPI __cdecl
#endif

typedef int32_t  VfsResult;  // 0 = success
typedef uint16_t VfsVolume;
typedef uint32_t VfsFileRef;

enum {
    VFS_ERR_BAD_NAME = 10754,     // 0x2A02
    VFS_ERR_EXISTS = 10758,       // 0x2A06: the name exists already
    VFS_ERR_NOT_FOUND = 10760,    // 0x2A08: the name was not found
    VFS_ATTR_DIRECTORY = 0x10,
    VFS_MODE_READ = 2,
    VFS_DATE_MODIFIED = 2
};

typedef VfsResult (VFSAPI *VFSDirCreateFn)(VfsVolume volume, const char* dirName);
typedef VfsResult (VFSAPI *VFSFileCloseFn)(VfsFileRef file);
typedef VfsResult (VFSAPI *VFSFileDeleteFn)(VfsVolume volume, const char* name);
typedef VfsResult (VFSAPI *VFSFileGetFn)(VfsVolume volume, const char* cardName, const char* pcPath);
typedef VfsResult (VFSAPI *VFSFileGetAttributesFn)(VfsFileRef file, uint32_t* attributes);
typedef VfsResult (VFSAPI *VFSFileGetDateFn)(VfsFileRef file, uint16_t which, uint32_t* date);
typedef VfsResult (VFSAPI *VFSFileOpenFn)(VfsVolume volume, const char* name, uint16_t mode, VfsFileRef* file);
typedef VfsResult (VFSAPI *VFSFilePutFn)(VfsVolume volume, const char* cardName, const char* pcPath);
typedef VfsResult (VFSAPI *VFSFileRenameFn)(VfsVolume volume, const char* name, const char* newBaseName);
typedef VfsResult (VFSAPI *VFSFileSizeFn)(VfsFileRef file, uint32_t* size);
typedef VfsResult (VFSAPI *VFSSupportFn)(uint32_t* a, uint32_t* b);
typedef VfsResult (VFSAPI *VFSVolumeEnumerateFn)(uint16_t* count, VfsVolume* volumes);
typedef VfsResult (VFSAPI *VFSVolumeGetLabelFn)(VfsVolume volume, char* label, uint32_t* length);
typedef VfsResult (VFSAPI *VFSVolumeSetLabelFn)(VfsVolume volume, const char* label);

#ifdef __cplusplus
}
#endif
