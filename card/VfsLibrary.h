// The desktop VFS access library, loaded by name at run time. A missing library or
// function looks to every caller like a call that failed with -1.
#pragma once
#include <cstdint>
#include "VfsApi.h"

class VfsLibrary {
public:
    VfsLibrary();   // binds "vfsapi.dll"; reports nothing when it is missing
    ~VfsLibrary();  // releases the library
    VfsLibrary(const VfsLibrary&) = delete;
    VfsLibrary& operator=(const VfsLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }

    int32_t DirCreate(VfsVolume volume, const char* dirName) const;
    int32_t FileClose(VfsFileRef file) const;
    int32_t FileDelete(VfsVolume volume, const char* name) const;
    int32_t FileGet(VfsVolume volume, const char* cardName, const char* pcPath) const;
    int32_t FileGetAttributes(VfsFileRef file, uint32_t* attributes) const;
    int32_t FileGetDate(VfsFileRef file, uint16_t which, uint32_t* date) const;
    int32_t FileOpen(VfsVolume volume, const char* name, uint16_t mode, VfsFileRef* file) const;
    int32_t FilePut(VfsVolume volume, const char* cardName, const char* pcPath) const;
    int32_t FileRename(VfsVolume volume, const char* name, const char* newBaseName) const;
    int32_t FileSize(VfsFileRef file, uint32_t* size) const;
    int32_t Support(uint32_t* a, uint32_t* b) const;
    int32_t VolumeEnumerate(uint16_t* count, VfsVolume* volumes) const;
    int32_t VolumeGetLabel(VfsVolume volume, char* label, uint32_t* length) const;
    int32_t VolumeSetLabel(VfsVolume volume, const char* label) const;

private:
    void* module_ = nullptr;  // HMODULE, kept opaque so callers need no <windows.h>
    VFSDirCreateFn dirCreate_ = nullptr;
    VFSFileCloseFn fileClose_ = nullptr;
    VFSFileDeleteFn fileDelete_ = nullptr;
    VFSFileGetFn fileGet_ = nullptr;
    VFSFileGetAttributesFn fileGetAttributes_ = nullptr;
    VFSFileGetDateFn fileGetDate_ = nullptr;
    VFSFileOpenFn fileOpen_ = nullptr;
    VFSFilePutFn filePut_ = nullptr;
    VFSFileRenameFn fileRename_ = nullptr;
    VFSFileSizeFn fileSize_ = nullptr;
    VFSSupportFn support_ = nullptr;
    VFSVolumeEnumerateFn volumeEnumerate_ = nullptr;
    VFSVolumeGetLabelFn volumeGetLabel_ = nullptr;
    VFSVolumeSetLabelFn volumeSetLabel_ = nullptr;
};
