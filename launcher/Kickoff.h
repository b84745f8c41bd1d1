// The launcher's export, for an installer: start a program and, if asked, wait for it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// firstArgument is ignored. waitSeconds 0 means no wait. Answers 0 when the program
// started (and, with a wait, ended within it), 1 when it was still running when the wait
// ended (it is left running), 2 when it could not be started or the wait failed, or when
// anything else failed inside (an allocation, say): no exception leaves the library.
// Exported undecorated as "LaunchApp", standard call.
int32_t __stdcall LaunchApp(uint32_t firstArgument, uint32_t waitSeconds, const char* commandLine);

typedef int32_t(__stdcall* LaunchAppFunction)(uint32_t, uint32_t, const char*);

#ifdef __cplusplus
}
#endif
