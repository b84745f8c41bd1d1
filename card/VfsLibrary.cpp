#include "card/VfsLibrary.h"
#include <windows.h>

namespace {
template <typename Fn>
void bind(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
constexpr int32_t kMissing = -1;
}  // namespace

VfsLibrary::VfsLibrary() {
    HMODULE module = LoadLibraryA("vfsapi.dll");
    module_ = module;
    if (!module) return;
    // Bound in the library's documented order.
    bind(module, "VFSDirCreate", dirCreate_);
    bind(module, "VFSFileClose", fileClose_);
    bind(module, "VFSFileDelete", fileDelete_);
    bind(module, "VFSFileGet", fileGet_);
    bind(module, "VFSFileGetAttributes", fileGetAttributes_);
    bind(module, "VFSFileGetDate", fileGetDate_);
    bind(module, "VFSFileOpen", fileOpen_);
    bind(module, "VFSFilePut", filePut_);
    bind(module, "VFSFileRename", fileRename_);
    bind(module, "VFSFileSize", fileSize_);
    bind(module, "VFSSupport", support_);
    bind(module, "VFSVolumeEnumerate", volumeEnumerate_);
    bind(module, "VFSVolumeGetLabel", volumeGetLabel_);
    bind(module, "VFSVolumeSetLabel", volumeSetLabel_);
}

VfsLibrary::~VfsLibrary() {
    if (module_) FreeLibrary(static_cast<HMODULE>(module_));
}

int32_t VfsLibrary::DirCreate(VfsVolume v, const char* n) const { return dirCreate_ ? dirCreate_(v, n) : kMissing; }
int32_t VfsLibrary::FileClose(VfsFileRef f) const { return fileClose_ ? fileClose_(f) : kMissing; }
int32_t VfsLibrary::FileDelete(VfsVolume v, const char* n) const { return fileDelete_ ? fileDelete_(v, n) : kMissing; }
int32_t VfsLibrary::FileGet(VfsVolume v, const char* c, const char* p) const { return fileGet_ ? fileGet_(v, c, p) : kMissing; }
int32_t VfsLibrary::FileGetAttributes(VfsFileRef f, uint32_t* a) const {
    return fileGetAttributes_ ? fileGetAttributes_(f, a) : kMissing;
}
int32_t VfsLibrary::FileGetDate(VfsFileRef f, uint16_t w, uint32_t* d) const {
    return fileGetDate_ ? fileGetDate_(f, w, d) : kMissing;
}
int32_t VfsLibrary::FileOpen(VfsVolume v, const char* n, uint16_t m, VfsFileRef* f) const {
    return fileOpen_ ? fileOpen_(v, n, m, f) : kMissing;
}
int32_t VfsLibrary::FilePut(VfsVolume v, const char* c, const char* p) const { return filePut_ ? filePut_(v, c, p) : kMissing; }
int32_t VfsLibrary::FileRename(VfsVolume v, const char* n, const char* b) const {
    return fileRename_ ? fileRename_(v, n, b) : kMissing;
}
int32_t VfsLibrary::FileSize(VfsFileRef f, uint32_t* s) const { return fileSize_ ? fileSize_(f, s) : kMissing; }
int32_t VfsLibrary::Support(uint32_t* a, uint32_t* b) const { return support_ ? support_(a, b) : kMissing; }
int32_t VfsLibrary::VolumeEnumerate(uint16_t* c, VfsVolume* v) const {
    return volumeEnumerate_ ? volumeEnumerate_(c, v) : kMissing;
}
int32_t VfsLibrary::VolumeGetLabel(VfsVolume v, char* l, uint32_t* n) const {
    return volumeGetLabel_ ? volumeGetLabel_(v, l, n) : kMissing;
}
int32_t VfsLibrary::VolumeSetLabel(VfsVolume v, const char* l) const {
    return volumeSetLabel_ ? volumeSetLabel_(v, l) : kMissing;
}
