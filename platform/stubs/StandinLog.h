// Test and host access to the stand-in HotSync log (HSLOG20.dll). The conduit never
// includes this: it only calls the log through the SDK.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
#if defined(HOTSYNC_BUILDING_STANDIN)
#define STANDIN_API __declspec(dllexport) __cdecl
#else
#define STANDIN_API __declspec(dllimport) __cdecl
#endif

// Also append every line to this file as "<activity>\t<text>\n" (null: stop).
void STANDIN_API StandinLogSetFile(const char* path);
// Print every line to standard output as it is written (the host turns this on).
void STANDIN_API StandinLogSetEcho(int on);
// The lines written since the last clear, in order.
size_t STANDIN_API StandinLogCount(void);
const char* STANDIN_API StandinLogText(size_t index);
int32_t STANDIN_API StandinLogActivity(size_t index);
int32_t STANDIN_API StandinLogFlag(size_t index);
void STANDIN_API StandinLogClear(void);

#ifdef __cplusplus
}
#endif
