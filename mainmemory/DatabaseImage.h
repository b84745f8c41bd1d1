// One handheld database (record or resource database) held wholly in memory, and the
// moves between the three places it lives: a .pdb/.prc file on the PC, the handheld's
// main memory (through the Sync Manager) and a plain PC file cut into 1024-byte records.
//
// The file format half (DatabaseImage.cpp) is plain C++17 with <cstdio> and builds
// natively; only the handheld transfers (DatabaseImageHandheld.cpp) need the SDK.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry of a record database's list: 8 bytes in the file.
struct RecordEntry {
    uint32_t offset = 0;          // file offset of the record's data
    uint8_t attributes = 0;       // the record attribute byte, taken raw
    uint8_t uniqueId[3] = {0, 0, 0};  // most significant byte first
};

// One entry of a resource database's list: 10 bytes in the file.
struct ResourceEntry {
    uint32_t type = 0;            // four-character resource type
    uint16_t id = 0;              // resource ID
    uint32_t offset = 0;          // file offset of the resource's data
};

// Which step of a transfer failed (DatabaseImage::failureCode); logged in hexadecimal.
enum DatabaseImageFailure : int32_t {
    DBIMAGE_OK = 0,
    DBIMAGE_NAME_UNREADABLE = 257,      // file shorter than the 32-byte name
    DBIMAGE_NO_RECORDS = 258,           // header declares zero records
    DBIMAGE_LIST_TRUNCATED = 259,       // record list ended early
    DBIMAGE_DATA_TRUNCATED = 260,       // data missing or not where the list says
    DBIMAGE_READ_APPINFO = 261,
    DBIMAGE_READ_SORTINFO = 262,
    DBIMAGE_READ_RESOURCE = 263,
    DBIMAGE_READ_RECORD = 264,
    DBIMAGE_READ_DBINFO = 265,
    DBIMAGE_OPEN_FOR_READ = 266,
    DBIMAGE_WRITE_APPINFO = 267,
    DBIMAGE_WRITE_SORTINFO = 268,
    DBIMAGE_WRITE_RESOURCE = 269,
    DBIMAGE_WRITE_RECORD = 270,
    DBIMAGE_OPEN_FOR_WRITE = 271
};

class DatabaseImage {
public:
    // Sizes of the fixed parts of the file layout.
    static constexpr size_t kHeaderSize = 78;
    static constexpr size_t kRecordEntrySize = 8;
    static constexpr size_t kResourceEntrySize = 10;
    static constexpr size_t kSliceSize = 1024;    // record size of loadFileSlice
    static constexpr uint16_t kResourceAttribute = 0x0001;

    // ---- the image, in file order; numbers in host order ----
    char name[32] = {};             // NUL-terminated inside the field when it came so
    uint16_t attributes = 0;        // bit 0 set: resource database
    uint16_t version = 0;
    uint32_t creationDate = 0;
    uint32_t modificationDate = 0;
    uint32_t backupDate = 0;
    uint32_t modificationNumber = 0;
    // Taken from the handheld these hold the block sizes; writeFile puts real offsets in.
    uint32_t appInfoOffset = 0;
    uint32_t sortInfoOffset = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    uint32_t nextRecordList = 0;
    uint16_t recordCount = 0;
    std::vector<uint8_t> appInfo;
    std::vector<uint8_t> sortInfo;
    std::vector<RecordEntry> recordEntries;      // record database
    std::vector<ResourceEntry> resourceEntries;  // resource database
    std::vector<std::vector<uint8_t>> records;   // data of each record or resource
    int32_t lastSyncError = 0;      // result of the last failed Sync Manager call
    int32_t failureCode = 0;        // DatabaseImageFailure
    // Set by writeToHandheld once the creation succeeded: a failure after that has left a
    // partly written database of the caller's on the handheld.
    bool createdDatabase = false;

    bool isResourceDatabase() const { return (attributes & kResourceAttribute) != 0; }
    // The name up to its NUL, never more than the 32 bytes of the field.
    std::string nameString() const;
    // Copies at most 31 characters and a NUL into the name field.
    void setName(const std::string& text);

    // ---- PC database files (.pdb/.prc) ----
    // Fills the image from a database file; false with failureCode 257..260 for a bad
    // file, false with the codes unchanged when it cannot be opened.
    bool readFile(const std::string& path);
    // Writes the image as a database file, replacing it; false when it cannot be created or
    // any write or the close fails (what was written then stays; callers stage the file).
    bool writeFile(const std::string& path);
    // The same two on bytes in memory: parse a file's content, or lay the image out as one
    // (this sets appInfoOffset, sortInfoOffset and every entry's offset, as writeFile does).
    bool parseFileBytes(const uint8_t* data, size_t size);
    std::vector<uint8_t> toFileBytes();

    // ---- the handheld's main memory, card 0 ----
    bool readFromHandheld(const std::string& dbName);
    // Creates the database from the header, then writes the blocks and records into it.
    // When the creation fails the database of that name is still written into (its records
    // are added to those it holds), unless mustCreate is set: then the failure ends the
    // transfer with 271 before anything is written.
    bool writeToHandheld(const std::string& dbName, bool mustCreate = false);

    // ---- plain PC files ----
    // Fills the image as a record database whose records are consecutive 1024-byte pieces
    // of the file from `skip` on; `length` 0 or 0xFFFFFFFF means to the end. recordCount is
    // left alone. False only when the file cannot be opened.
    bool loadFileSlice(const std::string& path, const std::string& dbName, uint32_t creatorCode,
                       uint32_t typeCode, uint32_t skip, uint32_t length);
    // Writes records 0..recordCount-1 one after the other into the file (replacing it),
    // without the first 8 bytes of each when dropLeadBytes is set. False when the file
    // cannot be created or any write or the close fails: the file is then not whole.
    bool writeRecordsToFile(const std::string& path, bool dropLeadBytes);
};
