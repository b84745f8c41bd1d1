// The removal hook's exports, called by the product's removal program at the start and
// the end of a removal. Both take nothing and answer 0.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Runs "Quillmark.exe" /us from the folder of the file named after -f on this process's
// command line and gives it up to 15 seconds. Always answers 0; no exception leaves it.
int32_t __stdcall DetachInitialize(void);
// Does nothing; answers 0.
int32_t __stdcall DetachUnInitialize(void);

typedef int32_t(__stdcall* DetachFunction)(void);

#ifdef __cplusplus
}
#endif
