#include "platform/handheld/HandheldState.h"
#include "platform/handheld/HostFiles.h"
#include "platform/handheld/StandinDevice.h"

int HandheldState::load(const std::string& deviceDir) {
    dir_ = deviceDir;
    while (!dir_.empty() && (dir_.back() == '\\' || dir_.back() == '/')) dir_.pop_back();
    std::string text;
    if (!readHostFile(dir_ + "\\device.ini", text)) return 1;
    ini_ = IniFile::parse(text);
    return 0;
}

int HandheldState::save() { return 0; }

// Not yet simulated.
#define NS return STANDIN_ERR_NOT_SIMULATED
int32_t HandheldState::openDb(int32_t, const char*, uint8_t, uint8_t*) { NS; }
int32_t HandheldState::createDb(SmCreateRecord*) { NS; }
int32_t HandheldState::closeDb(uint8_t) { NS; }
int32_t HandheldState::deleteDb(const char*, int32_t) { NS; }
int32_t HandheldState::readDbList(int32_t, uint16_t, int32_t, SmDbListEntry*, int32_t*) { NS; }
int32_t HandheldState::writeRecord(SmRawRecord*) { NS; }
int32_t HandheldState::readRecordByIndex(SmRawRecord*) { NS; }
int32_t HandheldState::readBlock(uint8_t, SmBlockRecord*, bool) { NS; }
int32_t HandheldState::writeBlock(uint8_t, SmBlockRecord*, bool) { NS; }
int32_t HandheldState::writeResource(SmRawRecord*) { NS; }
int32_t HandheldState::readResourceByIndex(SmRawRecord*, int32_t) { NS; }
int32_t HandheldState::readOpenDbInfo(SmOpenDbInfoRequest*, SmOpenDbInfo*) { NS; }
int32_t HandheldState::findDbByName(SmFindDbRequest*, SmDbListEntry*) { NS; }
int32_t HandheldState::readCardInfo(SmCardInfo*) { NS; }
int32_t HandheldState::callRemoteModule(SmRemoteCall*) { NS; }
int32_t HandheldState::vfsSupport(uint32_t*, uint32_t*) { NS; }
int32_t HandheldState::vfsVolumeEnumerate(uint16_t*, VfsVolume*) { NS; }
int32_t HandheldState::vfsVolumeGetLabel(VfsVolume, char*, uint32_t*) { NS; }
int32_t HandheldState::vfsVolumeSetLabel(VfsVolume, const char*) { NS; }
int32_t HandheldState::vfsFileGet(VfsVolume, const char*, const char*) { NS; }
int32_t HandheldState::vfsFilePut(VfsVolume, const char*, const char*) { NS; }
int32_t HandheldState::vfsFileDelete(VfsVolume, const char*) { NS; }
int32_t HandheldState::vfsDirCreate(VfsVolume, const char*) { NS; }
int32_t HandheldState::vfsFileRename(VfsVolume, const char*, const char*) { NS; }
int32_t HandheldState::vfsFileOpen(VfsVolume, const char*, uint16_t, VfsFileRef*) { NS; }
int32_t HandheldState::vfsFileGetDate(VfsFileRef, uint16_t, uint32_t*) { NS; }
int32_t HandheldState::vfsFileGetAttributes(VfsFileRef, uint32_t*) { NS; }
int32_t HandheldState::vfsFileSize(VfsFileRef, uint32_t*) { NS; }
int32_t HandheldState::vfsFileClose(VfsFileRef) { NS; }
int32_t HandheldState::conduitCount() { return 0; }
int32_t HandheldState::conduitList(CmConduitEntry*, int32_t*) { NS; }
int32_t HandheldState::conduitCreator(const CmConduitEntry*, uint32_t*) { NS; }
int32_t HandheldState::userByFolder(const char*, uint32_t*) { NS; }
int32_t HandheldState::userValue(uint32_t, uint32_t, int32_t*, bool) { NS; }
std::string HandheldState::databaseOfHandle(uint8_t) const { return {}; }
std::string HandheldState::nameOfFileRef(VfsFileRef) const { return {}; }
