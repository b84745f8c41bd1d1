// What the simulated handheld holds for one session: the settings of device.ini, the
// main-memory databases, the card volumes, and the user-data table.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/handheld/IniFile.h"
#include "HotSyncApi.h"
#include "VfsApi.h"
#include "platform/handheld/CardVolume.h"
#include "platform/handheld/RamDatabase.h"

class HandheldState {
public:
    // Reads the device folder; 0 on success.
    int load(const std::string& deviceDir);
    // Writes main memory back into the device folder; 0 on success. (A label is written
    // into device.ini as it is set.)
    int save();

    const IniFile& ini() const { return ini_; }

    // Names that faults and the trace match calls by: the database behind a handle, the
    // card name behind a file reference (empty when unknown).
    std::string databaseOfHandle(uint8_t handle) const;
    std::string nameOfFileRef(VfsFileRef file) const;

    // Sync Manager.
    int32_t openDb(int32_t cardNo, const char* name, uint8_t mode, uint8_t* handle);
    int32_t createDb(SmCreateRecord* create);
    int32_t closeDb(uint8_t handle);
    int32_t deleteDb(const char* name, int32_t cardNo);
    int32_t readDbList(int32_t cardNo, uint16_t startIndex, int32_t ramOnly, SmDbListEntry* entries,
                       int32_t* count);
    int32_t writeRecord(SmRawRecord* record);
    int32_t readRecordByIndex(SmRawRecord* record);
    int32_t readBlock(uint8_t handle, SmBlockRecord* block, bool sortInfo);
    int32_t writeBlock(uint8_t handle, SmBlockRecord* block, bool sortInfo);
    int32_t writeResource(SmRawRecord* record);
    int32_t readResourceByIndex(SmRawRecord* record, int32_t withBody);
    int32_t readOpenDbInfo(SmOpenDbInfoRequest* request, SmOpenDbInfo* info);
    int32_t findDbByName(SmFindDbRequest* request, SmDbListEntry* found);
    int32_t readCardInfo(SmCardInfo* info);
    int32_t callRemoteModule(SmRemoteCall* call);

    // VFS.
    int32_t vfsSupport(uint32_t* a, uint32_t* b);
    int32_t vfsVolumeEnumerate(uint16_t* count, VfsVolume* volumes);
    int32_t vfsVolumeGetLabel(VfsVolume volume, char* label, uint32_t* length);
    int32_t vfsVolumeSetLabel(VfsVolume volume, const char* label);
    int32_t vfsFileGet(VfsVolume volume, const char* cardName, const char* pcPath);
    int32_t vfsFilePut(VfsVolume volume, const char* cardName, const char* pcPath);
    int32_t vfsFileDelete(VfsVolume volume, const char* name);
    int32_t vfsDirCreate(VfsVolume volume, const char* name);
    int32_t vfsFileRename(VfsVolume volume, const char* name, const char* newBaseName);
    int32_t vfsFileOpen(VfsVolume volume, const char* name, uint16_t mode, VfsFileRef* file);
    int32_t vfsFileGetDate(VfsFileRef file, uint16_t which, uint32_t* date);
    int32_t vfsFileGetAttributes(VfsFileRef file, uint32_t* attributes);
    int32_t vfsFileSize(VfsFileRef file, uint32_t* size);
    int32_t vfsFileClose(VfsFileRef file);

    // User data.
    int32_t userByFolder(const char* folder, uint32_t* user);
    int32_t userValue(uint32_t user, uint32_t creator, int32_t* value, bool second);
    const std::string& dir() const { return dir_; }

    // For tests of the simulator itself.
    const RamDatabase* database(const std::string& name) const;
    const CardVolume* volume(VfsVolume ref) const;
    const std::string& loadError() const { return loadError_; }

private:
    struct DbSlot {
        uint32_t id;
        RamDatabase db;
    };
    struct OpenDb {
        uint32_t id;
        uint8_t mode;
    };
    struct Volume {
        VfsVolume ref;
        int index;  // 1, 2, ... as in device.ini
        std::string label;
        CardVolume card;
    };
    struct OpenFile {
        VfsVolume volume;
        std::string path;
    };
    struct UserValue {
        int32_t result;
        int32_t value;
    };
    struct User {
        std::string folder;
        std::map<uint32_t, std::pair<UserValue, UserValue>> values;
    };

    bool loadDatabases();
    bool loadVolumes();
    bool loadUsers();
    DbSlot* findDb(const std::string& name);
    DbSlot* dbOfHandle(uint8_t handle, int32_t& error);
    bool isOpen(uint32_t id) const;
    void touch(RamDatabase& db);
    void fillListEntry(const RamDatabase& db, bool open, SmDbListEntry& entry) const;
    Volume* findVolume(VfsVolume ref);
    Volume* volumeOfCard(const std::string& cardName);
    std::string companionCardName(const Volume& v) const;
    uint32_t now() const;

    // The companion application's requests; each answers its result code.
    int32_t companionProbe();
    int32_t companionRequest(uint16_t request, const std::string& text);
    // Replaces the transfer database by bytes in records (text replies with their lead
    // bytes); a reply (requests 2 and 4) is added to one left there under TransferAdds.
    // False when one is open.
    bool putTransferDatabase(const std::string& bytes, bool textReply, bool reply);
    bool takeTransferDatabase(std::string& bytes);

    std::string dir_;
    std::string iniText_;
    IniFile ini_;
    std::string loadError_;
    std::vector<DbSlot> dbs_;
    uint32_t nextDbId_ = 1;
    std::map<uint8_t, OpenDb> handles_;
    std::vector<std::unique_ptr<Volume>> volumes_;
    std::map<VfsFileRef, OpenFile> files_;
    VfsFileRef nextFileRef_ = 0x100;
    std::vector<User> users_;
    bool anyUser_ = true;  // no [UserN] sections: every folder is user 1
};
