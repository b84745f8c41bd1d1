// The conduit's whole view of the HotSync libraries: SYNC20.dll (Sync Manager),
// HSLOG20.dll (log), CONDMGR.dll (conduit manager) and UserData.dll (users).
// Calls that the libraries export only by ordinal carry names of our own here; the
// .def files beside this header bind each name to its ordinal.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(HOTSYNC_BUILDING_STANDIN)
#define HSAPI __declspec(dllexport) __cdecl
#else
#define HSAPI __declspec(dllimport) __cdecl
#endif

// The conduit manager's calls are __stdcall, ordinal or named alike. The stand-in exports
// them through its .def only, so that each appears once, undecorated.
#if defined(HOTSYNC_BUILDING_STANDIN)
#define CONDMGR_API __stdcall
#else
#define CONDMGR_API __declspec(dllimport) __stdcall
#endif

typedef int32_t HsResult;  // 0 = success

#pragma pack(push, 1)

// Database list entry (78 bytes): filled by the list call and by SyncFindDbByName.
typedef struct SmDbListEntry {
    uint8_t  cardNo;          // 0
    uint8_t  pad1[3];         // 1
    uint16_t attributes;      // 4
    uint32_t type;            // 6
    char     name[32];        // 10
    uint32_t creator;         // 42
    uint16_t version;         // 46
    uint32_t modNumber;       // 48
    uint8_t  pad2[2];         // 52
    uint32_t creationDate;    // 54
    uint32_t modificationDate;// 58
    uint32_t backupDate;      // 62
    uint8_t  pad3[12];        // 66
} SmDbListEntry;

// Open-database information (114 bytes): its first 78 bytes are a list entry.
typedef struct SmOpenDbInfo {
    SmDbListEntry entry;      // 0
    uint32_t recordCount;     // 78
    uint8_t  pad1[8];         // 82
    uint32_t appInfoSize;     // 90
    uint32_t sortInfoSize;    // 94
    uint32_t maxRecordSize;   // 98
    uint8_t  pad2[12];        // 102
} SmOpenDbInfo;

// Request of SyncReadOpenDbInfo: options byte (0xE0), then the open database's handle.
typedef struct SmOpenDbInfoRequest {
    uint8_t options;          // 0
    uint8_t handle;           // 1
} SmOpenDbInfoRequest;

// Request of SyncFindDbByName: options (0xC0), card number, the name's address.
typedef struct SmFindDbRequest {
    uint8_t     options;      // 0
    int32_t     cardNo;       // 1
    const char* name;         // 5
} SmFindDbRequest;

// Block record (44 bytes) for the application-info and sort-info calls.
typedef struct SmBlockRecord {
    uint8_t  pad1[32];        // 0
    uint16_t bufferSize;      // 32
    uint8_t  pad2[2];         // 34
    void*    buffer;          // 36
    uint32_t dataSize;        // 40: filled by a read with the block's real size
} SmBlockRecord;

// Raw record (28 bytes) for the record and resource calls.
typedef struct SmRawRecord {
    uint8_t  handle;          // 0
    uint32_t recordId;        // 1: record ID, or a resource's type
    uint16_t index;           // 5: record index, or a resource's ID
    uint8_t  attributes;      // 7
    uint8_t  pad1[6];         // 8
    uint32_t dataSize;        // 14: filled by a read
    uint16_t bufferSize;      // 18
    void*    buffer;          // 20
    uint8_t  pad2[4];         // 24
} SmRawRecord;

// Create record (52 bytes).
typedef struct SmCreateRecord {
    uint8_t  handle;          // 0: returned
    uint32_t creator;         // 1
    uint32_t flags;           // 5: the 16-bit attribute word
    uint8_t  cardNo;          // 9
    char     name[32];        // 10
    uint32_t type;            // 42
    uint16_t version;         // 46
    uint8_t  pad[4];          // 48
} SmCreateRecord;

// Card information (96 bytes): card number in, RAM database count out.
typedef struct SmCardInfo {
    uint8_t  cardNo;          // 0
    uint8_t  pad1[86];        // 1
    uint16_t ramDbCount;      // 87
    uint8_t  pad2[7];         // 89
} SmCardInfo;

// Request block of SyncCallRemoteModule (38 bytes, packed).
typedef struct SmRemoteCall {
    uint32_t creator;         // 0
    uint32_t type;            // 4
    uint16_t request;         // 8
    uint32_t paramSize;       // 10
    const char* param;        // 14
    uint32_t resultBufferSize;// 18
    void*    resultBuffer;    // 22
    int32_t  resultCode;      // 26
    uint32_t actualResultSize;// 30
    uint32_t reserved;        // 34
} SmRemoteCall;

// Conduit manager entry (12 bytes); its content is the conduit manager's own.
typedef struct CmConduitEntry {
    uint8_t bytes[12];
} CmConduitEntry;

#pragma pack(pop)

// Open modes of SmOpenDb.
enum { SM_OPEN_READ = 0x80, SM_OPEN_WRITE = 0x40 };

// ---- SYNC20.dll ----
HsResult HSAPI SmRegisterConduit(uint32_t* handle);                           // @22
HsResult HSAPI SmUnregisterConduit(uint32_t handle);                          // @23
HsResult HSAPI SmOpenDb(int32_t cardNo, const char* name, uint8_t mode, uint8_t* handle); // @26
HsResult HSAPI SmCreateDb(SmCreateRecord* create);                            // @27
HsResult HSAPI SmCloseDb(uint8_t handle);                                     // @28
HsResult HSAPI SmDeleteDb(const char* name, int32_t cardNo);                  // @29
HsResult HSAPI SmReadDbList(int32_t cardNo, uint16_t startIndex, int32_t ramOnly,
                            SmDbListEntry* entries, int32_t* count);           // @30
HsResult HSAPI SmWriteRecord(SmRawRecord* record);                            // @32
HsResult HSAPI SmReadRecordByIndex(SmRawRecord* record);                      // @36
HsResult HSAPI SmReadAppInfoBlock(uint8_t handle, SmBlockRecord* block);      // @38
HsResult HSAPI SmWriteAppInfoBlock(uint8_t handle, SmBlockRecord* block);     // @39
HsResult HSAPI SmWriteResource(SmRawRecord* record);                          // @43
HsResult HSAPI SyncYieldCycles(uint16_t cycles);
HsResult HSAPI SyncCallRemoteModule(SmRemoteCall* call);
HsResult HSAPI SyncReadOpenDbInfo(SmOpenDbInfoRequest* request, SmOpenDbInfo* info);
HsResult HSAPI SyncFindDbByName(SmFindDbRequest* request, SmDbListEntry* found);
HsResult HSAPI SyncReadSingleCardInfo(SmCardInfo* info);
HsResult HSAPI SyncReadResRecordByIndex(SmRawRecord* record, int32_t withBody);
HsResult HSAPI SyncReadDBSortInfoBlock(uint8_t handle, SmBlockRecord* block);
HsResult HSAPI SyncWriteDBSortInfoBlock(uint8_t handle, SmBlockRecord* block);

// ---- HSLOG20.dll ----
HsResult HSAPI HsLogAddLine(const char* text, int32_t activity, int32_t flag); // @52

// ---- CONDMGR.dll ----
int32_t  CONDMGR_API CmConduitCount(void);                     // @4, also named CmGetConduitCount
HsResult CONDMGR_API CmConduitList(CmConduitEntry* entries, int32_t* count);        // @5
HsResult CONDMGR_API CmEntryCreator(CmConduitEntry* entry, uint32_t* creator);      // @101

// ---- UserData.dll ----
HsResult HSAPI UdUserByFolder(const char* folder, uint32_t* user);            // @146
HsResult HSAPI UdUserValueA(uint32_t user, uint32_t creator, int32_t* value); // @115
HsResult HSAPI UdUserValueB(uint32_t user, uint32_t creator, int32_t* value); // @116

#ifdef __cplusplus
}  // extern "C"

// The record layouts are the libraries' format: check every offset the conduit relies on.
static_assert(sizeof(SmDbListEntry) == 78, "list entry");
static_assert(offsetof(SmDbListEntry, attributes) == 4 && offsetof(SmDbListEntry, type) == 6 &&
              offsetof(SmDbListEntry, name) == 10 && offsetof(SmDbListEntry, creator) == 42 &&
              offsetof(SmDbListEntry, version) == 46 && offsetof(SmDbListEntry, modNumber) == 48 &&
              offsetof(SmDbListEntry, creationDate) == 54 &&
              offsetof(SmDbListEntry, modificationDate) == 58 &&
              offsetof(SmDbListEntry, backupDate) == 62, "list entry fields");
static_assert(sizeof(SmOpenDbInfo) == 114, "open db info");
static_assert(offsetof(SmOpenDbInfo, recordCount) == 78 && offsetof(SmOpenDbInfo, appInfoSize) == 90 &&
              offsetof(SmOpenDbInfo, sortInfoSize) == 94 && offsetof(SmOpenDbInfo, maxRecordSize) == 98,
              "open db info fields");
static_assert(sizeof(SmOpenDbInfoRequest) == 2, "open db info request");
static_assert(offsetof(SmFindDbRequest, cardNo) == 1 && offsetof(SmFindDbRequest, name) == 5, "find");
// Three records carry pointers: their layout is the libraries' in the 32-bit build that
// ships; the 64-bit build (tests only, against the stand-ins) keeps every offset before the
// first pointer and lets the pointers widen.
static_assert(offsetof(SmBlockRecord, bufferSize) == 32 && offsetof(SmBlockRecord, buffer) == 36,
              "block record");
static_assert(offsetof(SmRawRecord, recordId) == 1 && offsetof(SmRawRecord, index) == 5 &&
              offsetof(SmRawRecord, attributes) == 7 && offsetof(SmRawRecord, dataSize) == 14 &&
              offsetof(SmRawRecord, bufferSize) == 18 && offsetof(SmRawRecord, buffer) == 20,
              "raw record");
#if !defined(_WIN64)
static_assert(sizeof(SmBlockRecord) == 44 && sizeof(SmRawRecord) == 28, "records with pointers");
#endif
static_assert(sizeof(SmCreateRecord) == 52 && offsetof(SmCreateRecord, creator) == 1 &&
              offsetof(SmCreateRecord, flags) == 5 && offsetof(SmCreateRecord, cardNo) == 9 &&
              offsetof(SmCreateRecord, name) == 10 && offsetof(SmCreateRecord, type) == 42 &&
              offsetof(SmCreateRecord, version) == 46, "create record");
static_assert(offsetof(SmCardInfo, ramDbCount) == 87, "card info");
static_assert(offsetof(SmRemoteCall, request) == 8 && offsetof(SmRemoteCall, paramSize) == 10 &&
              offsetof(SmRemoteCall, param) == 14, "remote call block");
#if !defined(_WIN64)
static_assert(sizeof(SmRemoteCall) == 38 && offsetof(SmRemoteCall, resultBufferSize) == 18 &&
              offsetof(SmRemoteCall, resultBuffer) == 22 && offsetof(SmRemoteCall, resultCode) == 26 &&
              offsetof(SmRemoteCall, actualResultSize) == 30 && offsetof(SmRemoteCall, reserved) == 34,
              "remote call block");
#endif
static_assert(sizeof(CmConduitEntry) == 12, "conduit entry");
#endif
