// Records that HotSync hands to the conduit's exports.
#pragma once
#include <stddef.h>
#include <stdint.h>

#pragma pack(push, 1)
// Passed by address to OpenConduit.
typedef struct SyncProperties {
    int32_t syncType;         // 0: what HotSync asks for, numbered as the action codes
    char    pcFolder[512];    // 4
    char    userName[256];    // 516
    uint8_t reserved[252];    // 772
} SyncProperties;

// Passed by address to CfgConduit; its size (352) travels separately.
typedef struct ConduitConfigRecord {
    uint32_t version;         // 0: must be 1
    uint8_t  reserved1[12];   // 4
    char     userName[324];   // 16
    int32_t  currentAction;   // 340
    int32_t  chosenAction;    // 344: written by the conduit
    int32_t  setAsDefault;    // 348: written by the conduit, 1 or 2
} ConduitConfigRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(offsetof(SyncProperties, syncType) == 0 && offsetof(SyncProperties, pcFolder) == 4 &&
              offsetof(SyncProperties, userName) == 516, "SyncProperties");
static_assert(sizeof(ConduitConfigRecord) == 352 && offsetof(ConduitConfigRecord, userName) == 16 &&
              offsetof(ConduitConfigRecord, currentAction) == 340 &&
              offsetof(ConduitConfigRecord, chosenAction) == 344 &&
              offsetof(ConduitConfigRecord, setAsDefault) == 348, "ConduitConfigRecord");
#endif
