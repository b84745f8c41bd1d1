// Stand-in desktop VFS access library: every call is served by the simulated handheld in
// the stand-in SYNC20.dll, so the card the conduit sees here is the one the companion
// application and the tests see.
// Exported by name through vfsapi.def, cdecl as the typedefs of VfsApi.h.
#include "VfsApi.h"
#include "platform/stubs/StandinBridge.h"

extern "C" {
VfsResult VFSAPI VFSDirCreate(VfsVolume v, const char* n) { return StandinVfsDirCreate(v, n); }
VfsResult VFSAPI VFSFileClose(VfsFileRef f) { return StandinVfsFileClose(f); }
VfsResult VFSAPI VFSFileDelete(VfsVolume v, const char* n) { return StandinVfsFileDelete(v, n); }
VfsResult VFSAPI VFSFileGet(VfsVolume v, const char* c, const char* p) { return StandinVfsFileGet(v, c, p); }
VfsResult VFSAPI VFSFileGetAttributes(VfsFileRef f, uint32_t* a) { return StandinVfsFileGetAttributes(f, a); }
VfsResult VFSAPI VFSFileGetDate(VfsFileRef f, uint16_t w, uint32_t* d) { return StandinVfsFileGetDate(f, w, d); }
VfsResult VFSAPI VFSFileOpen(VfsVolume v, const char* n, uint16_t m, VfsFileRef* f) {
    return StandinVfsFileOpen(v, n, m, f);
}
VfsResult VFSAPI VFSFilePut(VfsVolume v, const char* c, const char* p) { return StandinVfsFilePut(v, c, p); }
VfsResult VFSAPI VFSFileRename(VfsVolume v, const char* n, const char* b) { return StandinVfsFileRename(v, n, b); }
VfsResult VFSAPI VFSFileSize(VfsFileRef f, uint32_t* s) { return StandinVfsFileSize(f, s); }
VfsResult VFSAPI VFSSupport(uint32_t* a, uint32_t* b) { return StandinVfsSupport(a, b); }
VfsResult VFSAPI VFSVolumeEnumerate(uint16_t* c, VfsVolume* v) { return StandinVfsVolumeEnumerate(c, v); }
VfsResult VFSAPI VFSVolumeGetLabel(VfsVolume v, char* l, uint32_t* n) { return StandinVfsVolumeGetLabel(v, l, n); }
VfsResult VFSAPI VFSVolumeSetLabel(VfsVolume v, const char* l) { return StandinVfsVolumeSetLabel(v, l); }
}
