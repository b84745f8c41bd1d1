// The HotSync manager's control calls (HsApi.dll, exported by name, __stdcall): what a setup
// program uses to wait for a HotSync and to make the manager load its registrations again.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(HOTSYNC_BUILDING_STANDIN)
#define HSCTLAPI __stdcall
#else
#define HSCTLAPI __declspec(dllimport) __stdcall
#endif

// Results besides 0 (success); the stand-in's own past the first.
enum {
    HS_ERR_NOT_FOUND = 0x10000001,     // no HotSync manager (HsRefreshConduitInfo: none running)
    HS_ERR_BAD_ARGUMENT = 0x10000002,  // a null pointer, an unknown request or flags not 0
    HS_ERR_TIMED_OUT = 0x10000003      // the manager did not close or start within 20 seconds
};

enum { HS_APP_CLOSE = 0, HS_APP_START = 1, HS_APP_RESTART = 2 };

// *status: 1 while a HotSync runs, else 0.
long HSCTLAPI HsGetSyncStatus(uint32_t* status);
// Closes, starts or restarts the HotSync manager (flags 0); closing one that does not run,
// or starting one that runs, does nothing.
long HSCTLAPI HsSetAppStatus(int what, uint32_t flags);
// The running manager reads the registrations again.
long HSCTLAPI HsRefreshConduitInfo(void);

#ifdef __cplusplus
}  // extern "C"
#endif
