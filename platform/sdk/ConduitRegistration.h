// The conduit manager's registration calls (CondMgr.dll, exported by name, undecorated,
// __stdcall): what a setup program uses to make HotSync load a conduit, and what the
// HotSync manager reads to find the conduits it loads. The conduit itself never calls them.
// A creator is given as its four characters ("Tnwk").
#pragma once
#include <stdint.h>
#include "HotSyncApi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Results besides 0 (success).
enum {
    CM_ERR_BAD_ARGUMENT = -1001,     // null or over-long text, a type or priority out of range
    CM_ERR_NO_SUCH_CONDUIT = -1003,  // no registration holds the creator
    CM_ERR_CREATOR_IN_USE = -1005,   // a registration already holds the creator
    CM_ERR_REGISTRY = -1006,         // the registrations could not be read or written
    CM_ERR_BUFFER_TOO_SMALL = -1010, // *size tells the size needed
    CM_ERR_BAD_CREATOR = -1012       // not four characters
};

enum { CM_TYPE_COMPONENT = 0, CM_TYPE_APPLICATION = 1 };
enum { CM_PRIORITY_MAX = 4, CM_PRIORITY_USUAL = 2 };

// A new, empty registration of the creator (priority CM_PRIORITY_USUAL).
int CONDMGR_API CmInstallCreator(const char* creator, int type);
// The registration's display name, conduit library (its full path), folder (the name of the
// folder under each user's folder that HotSync hands the conduit as its PC folder) and
// priority (0..CM_PRIORITY_MAX; lower runs first).
int CONDMGR_API CmSetCreatorName(const char* creator, const char* name);
int CONDMGR_API CmSetCreatorFile(const char* creator, const char* file);
int CONDMGR_API CmSetCreatorDirectory(const char* creator, const char* folder);
int CONDMGR_API CmSetCreatorPriority(const char* creator, uint32_t priority);
// The text into buffer, *size its size in bytes; *size comes back as the text's size with its
// terminating zero (also with CM_ERR_BUFFER_TOO_SMALL). A value never set is empty.
int CONDMGR_API CmGetCreatorFile(const char* creator, char* buffer, int* size);
int CONDMGR_API CmGetCreatorName(const char* creator, char* buffer, int* size);
int CONDMGR_API CmRemoveConduitByCreatorID(const char* creator);
// The number of registrations (the conduit's ordinal 4), or a negative error.
int CONDMGR_API CmGetConduitCount(void);

#ifdef __cplusplus
}  // extern "C"
#endif
