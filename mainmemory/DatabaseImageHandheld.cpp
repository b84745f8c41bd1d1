// The handheld half of DatabaseImage: reading and writing a main-memory database of card 0
// through the Sync Manager.
#include "mainmemory/DatabaseImage.h"

#include <cstring>

#include "HotSyncApi.h"

namespace {

constexpr int32_t kCard = 0;
constexpr uint8_t kOpenDbInfoOptions = 0xE0;
// The record and block calls carry their buffer size in 16 bits; anything larger cannot be
// moved whole, and moving part of it would corrupt the database.
constexpr size_t kMaxTransfer = 0xFFFF;

// Closes an open database on every way out.
class OpenDatabase {
public:
    explicit OpenDatabase(uint8_t handle) : handle_(handle) {}
    ~OpenDatabase() { SmCloseDb(handle_); }
    OpenDatabase(const OpenDatabase&) = delete;
    OpenDatabase& operator=(const OpenDatabase&) = delete;
    uint8_t handle() const { return handle_; }

private:
    uint8_t handle_;
};

}  // namespace

bool DatabaseImage::readFromHandheld(const std::string& dbName) {
    uint8_t handle = 0;
    HsResult result = SmOpenDb(kCard, dbName.c_str(), SM_OPEN_READ, &handle);
    if (result != 0) {
        lastSyncError = result;
        failureCode = DBIMAGE_OPEN_FOR_READ;
        return false;
    }
    OpenDatabase db(handle);

    SmOpenDbInfoRequest request{};
    request.options = kOpenDbInfoOptions;
    request.handle = handle;
    SmOpenDbInfo info{};
    result = SyncReadOpenDbInfo(&request, &info);
    if (result != 0) {
        lastSyncError = result;
        failureCode = DBIMAGE_READ_DBINFO;
        return false;
    }
    // The file's list holds at most 65535 entries and the calls address records by a 16-bit
    // index: a larger count cannot be backed up faithfully, so refuse it rather than drop
    // records.
    if (info.recordCount > 0xFFFF) {
        failureCode = DBIMAGE_READ_DBINFO;
        return false;
    }

    std::memcpy(name, info.entry.name, sizeof name);
    attributes = static_cast<uint16_t>(info.entry.attributes & 0x7FFF);
    version = info.entry.version;
    creationDate = info.entry.creationDate;
    modificationDate = info.entry.modificationDate;
    backupDate = info.entry.backupDate;
    modificationNumber = info.entry.modNumber;
    type = info.entry.type;
    creator = info.entry.creator;
    recordCount = static_cast<uint16_t>(info.recordCount);
    appInfoOffset = info.appInfoSize;    // sizes until writeFile lays the file out
    sortInfoOffset = info.sortInfoSize;
    uniqueIdSeed = 0;
    nextRecordList = 0;
    appInfo.clear();
    sortInfo.clear();
    records.clear();
    recordEntries.clear();
    resourceEntries.clear();

    bool failed = false;
    auto readBlock = [&](uint32_t size, std::vector<uint8_t>& block, bool sort, int32_t code) {
        if (size == 0 || failed) return;
        if (size > kMaxTransfer) {
            failed = true;
            failureCode = code;
            return;
        }
        block.assign(size, 0);
        SmBlockRecord rec{};
        rec.bufferSize = static_cast<uint16_t>(size);
        rec.buffer = block.data();
        const HsResult r = sort ? SyncReadDBSortInfoBlock(handle, &rec) : SmReadAppInfoBlock(handle, &rec);
        if (r != 0) {
            failed = true;
            lastSyncError = r;
            failureCode = code;
            block.clear();
        }
    };
    readBlock(info.appInfoSize, appInfo, false, DBIMAGE_READ_APPINFO);
    readBlock(info.sortInfoSize, sortInfo, true, DBIMAGE_READ_SORTINFO);

    const bool resource = isResourceDatabase();
    const size_t count = info.recordCount;
    records.resize(count);
    if (resource)
        resourceEntries.resize(count);
    else
        recordEntries.resize(count);
    const size_t bufferSize = info.maxRecordSize < kMaxTransfer ? info.maxRecordSize : kMaxTransfer;
    const int32_t recordCode = resource ? DBIMAGE_READ_RESOURCE : DBIMAGE_READ_RECORD;
    for (size_t i = 0; i < count && !failed; ++i) {
        std::vector<uint8_t>& data = records[i];
        data.assign(bufferSize, 0);
        SmRawRecord raw{};
        raw.handle = handle;
        raw.index = static_cast<uint16_t>(i);
        raw.buffer = data.data();
        raw.bufferSize = static_cast<uint16_t>(bufferSize);
        const HsResult r = resource ? SyncReadResRecordByIndex(&raw, 1) : SmReadRecordByIndex(&raw);
        // A record larger than the buffer came back cut short: that is a failed read, not a
        // record to keep.
        if (r != 0 || raw.dataSize > bufferSize) {
            failed = true;
            if (r != 0) lastSyncError = r;
            failureCode = recordCode;
            break;
        }
        data.resize(raw.dataSize);
        if (resource) {
            resourceEntries[i].type = raw.recordId;
            resourceEntries[i].id = raw.index;
        } else {
            recordEntries[i].attributes = raw.attributes;
            recordEntries[i].uniqueId[0] = static_cast<uint8_t>(raw.recordId >> 16);
            recordEntries[i].uniqueId[1] = static_cast<uint8_t>(raw.recordId >> 8);
            recordEntries[i].uniqueId[2] = static_cast<uint8_t>(raw.recordId);
        }
    }
    return !failed;
}

bool DatabaseImage::writeToHandheld(const std::string& dbName, bool mustCreate) {
    SmCreateRecord create{};
    create.creator = creator;
    create.flags = attributes;
    create.cardNo = kCard;
    std::memcpy(create.name, name, sizeof create.name);
    // A name field without its NUL would be read past its end by the callee.
    if (std::memchr(create.name, 0, sizeof create.name) == nullptr) create.name[sizeof create.name - 1] = 0;
    create.type = type;
    create.version = version;
    HsResult result = SmCreateDb(&create);
    lastSyncError = result;
    createdDatabase = result == 0;
    // Only a handle the creation gave us is ours to close; the record's zero-filled handle
    // after a failure could belong to some other open database.
    if (result == 0) SmCloseDb(create.handle);
    if (result != 0 && mustCreate) {
        failureCode = DBIMAGE_OPEN_FOR_WRITE;
        return false;
    }

    uint8_t handle = 0;
    result = SmOpenDb(kCard, dbName.c_str(), SM_OPEN_WRITE, &handle);
    if (result != 0) {
        lastSyncError = result;
        failureCode = DBIMAGE_OPEN_FOR_WRITE;
        return false;
    }
    OpenDatabase db(handle);

    bool failed = false;
    auto writeBlock = [&](std::vector<uint8_t>& block, bool sort, int32_t code) {
        if (block.empty() || failed) return;
        if (block.size() > kMaxTransfer) {
            failed = true;
            failureCode = code;
            return;
        }
        SmBlockRecord rec{};
        rec.bufferSize = static_cast<uint16_t>(block.size());
        rec.buffer = block.data();
        const HsResult r = sort ? SyncWriteDBSortInfoBlock(handle, &rec) : SmWriteAppInfoBlock(handle, &rec);
        if (r != 0) {
            failed = true;
            lastSyncError = r;
            failureCode = code;
        }
    };
    writeBlock(appInfo, false, DBIMAGE_WRITE_APPINFO);
    writeBlock(sortInfo, true, DBIMAGE_WRITE_SORTINFO);

    const bool resource = isResourceDatabase();
    const int32_t recordCode = resource ? DBIMAGE_WRITE_RESOURCE : DBIMAGE_WRITE_RECORD;
    for (size_t i = 0; i < records.size() && !failed; ++i) {
        std::vector<uint8_t>& data = records[i];
        if (data.size() > kMaxTransfer) {
            failed = true;
            failureCode = recordCode;
            break;
        }
        SmRawRecord raw{};
        raw.handle = handle;
        raw.buffer = data.data();
        raw.dataSize = static_cast<uint32_t>(data.size());
        raw.bufferSize = static_cast<uint16_t>(data.size());
        HsResult r;
        if (resource) {
            const ResourceEntry entry = i < resourceEntries.size() ? resourceEntries[i] : ResourceEntry{};
            raw.recordId = entry.type;
            raw.index = entry.id;
            r = SmWriteResource(&raw);
        } else {
            const RecordEntry entry = i < recordEntries.size() ? recordEntries[i] : RecordEntry{};
            raw.recordId = 0;  // a new record: the handheld gives it its unique ID
            raw.attributes = entry.attributes;
            r = SmWriteRecord(&raw);
        }
        if (r != 0) {
            failed = true;
            lastSyncError = r;
            failureCode = recordCode;
        }
    }
    return !failed;
}
