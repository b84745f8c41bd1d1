// The conduit manager's registration calls (CONDMGR.dll, exported by name): what a setup
// program uses to make HotSync load a conduit, and what the HotSync manager reads to find
// the conduits it loads. The conduit itself never calls them.
#pragma once
#include <stdint.h>
#include "HotSyncApi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Results besides 0 (success).
enum {
    CM_ERR_NOT_REGISTERED = 0x7F31,  // no conduit holds the creator (or the index is past the end)
    CM_ERR_CREATOR_TAKEN = 0x7F32,   // another conduit (another library path) holds the creator
    CM_ERR_BAD_ARGUMENT = 0x7F33,    // null or empty text, creator 0, path not a full path or
                                     // too long, name too long, priority outside 0..255
    CM_ERR_REGISTRY = 0x7F34         // the registry could not be read or written
};

enum { CM_PATH_SIZE = 260, CM_NAME_SIZE = 64 };

// One registered conduit, as the registration calls give it back.
typedef struct CmRegistration {
    uint32_t creator;           // 0: four characters, the first in the high byte ("Tnwk" = 0x546E776B)
    int32_t priority;           // 4: 0..255; conduits run in rising priority, then rising creator
    char path[CM_PATH_SIZE];    // 8: the conduit library's full path
    char name[CM_NAME_SIZE];    // 268: the display name
} CmRegistration;

// Registers the conduit at path (a full path, at most 259 characters) under creator, with a
// display name of at most 63 characters. Registering the same creator again with the same
// path (compared without regard to case or slash direction) updates name and priority.
// Answers 0, CM_ERR_CREATOR_TAKEN (nothing changed), CM_ERR_BAD_ARGUMENT or CM_ERR_REGISTRY.
HsResult HSAPI CmRegisterConduit(uint32_t creator, const char* path, const char* name, int32_t priority);

// Removes the creator's registration. Answers 0, CM_ERR_NOT_REGISTERED or CM_ERR_REGISTRY.
HsResult HSAPI CmUnregisterConduit(uint32_t creator);

// Fills out with the creator's registration. Answers 0, CM_ERR_NOT_REGISTERED,
// CM_ERR_BAD_ARGUMENT (out null) or CM_ERR_REGISTRY; out is untouched on failure.
HsResult HSAPI CmRegistrationByCreator(uint32_t creator, CmRegistration* out);

// Fills out with the index-th registration in run order (from 0). Answers 0,
// CM_ERR_NOT_REGISTERED past the last one, CM_ERR_BAD_ARGUMENT or CM_ERR_REGISTRY.
HsResult HSAPI CmRegistrationAt(int32_t index, CmRegistration* out);

#ifdef __cplusplus
}  // extern "C"
static_assert(sizeof(CmRegistration) == 332, "registration record");
#endif
