// The six functions HotSync calls in Tarnwick.dll, as a host declares them: cdecl,
// undecorated names, 32-bit signed results.
#pragma once
#include <stdint.h>
#include "ConduitRecords.h"

#ifdef __cplusplus
extern "C" {
#endif
typedef int32_t(__cdecl* OpenConduitFn)(void* unused, SyncProperties* properties);
typedef int32_t(__cdecl* GetConduitNameFn)(char* buffer, uint16_t length);
typedef int32_t(__cdecl* GetConduitVersionFn)(void);
typedef int32_t(__cdecl* GetConduitInfoFn)(int32_t kind, void* in, void* out, uint32_t* size);
typedef int32_t(__cdecl* ConfigureConduitFn)(void* argument);
typedef int32_t(__cdecl* CfgConduitFn)(int32_t configType, ConduitConfigRecord* record, int32_t* size);
#ifdef __cplusplus
}
#endif

// Result codes of the exports.
enum ConduitResult {
    CONDUIT_OK = 0,
    CONDUIT_INFO_UNKNOWN_KIND = 4208,
    CONDUIT_INFO_NO_OUTPUT = 4209,
    CONDUIT_INFO_BAD_SIZE = 4211,
    CONDUIT_CFG_NO_RECORD = 4212,
    CONDUIT_INFO_NO_SIZE = 4215,
    CONDUIT_CFG_NO_SIZE = 4216,
    CONDUIT_CFG_BAD_TYPE = 4217,
    CONDUIT_CFG_BAD_SIZE = 4218,
    CONDUIT_CFG_BAD_VERSION = 4219,
    // Not an argument error: the call failed inside the conduit (an exception stopped it;
    // the HotSync log says which). Answered by every export but GetConduitVersion, which
    // answers 0 then.
    CONDUIT_FAILED = 4220
};
