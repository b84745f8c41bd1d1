// Detach.dll: lets the desktop program clean up when the product is removed.
#include "removalhook/Detach.h"

#include "dllshared/DllEdge.h"
#include "launcher/ProcessStart.h"
#include "removalhook/CommandLine.h"

#include <windows.h>

namespace {
// Recorded on load only; the hook needs nothing else from its own module.
HINSTANCE g_module = nullptr;

// The desktop program gets this long to finish its clean-up; after that the removal goes
// on and the program is left running.
constexpr DWORD kCleanupWaitMs = 15000;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" int32_t __stdcall DetachInitialize(void) {
    // Nothing may unwind into the removal program (a failed allocation, say); it has no log
    // to tell, and the removal goes on as if the program had not been found.
    return edge::Contained("DetachInitialize", int32_t{0}, [] {
        const char* own = GetCommandLineA();
        if (own == nullptr) return int32_t{0};
        if (const auto command = detach::quillmarkCommandLine(own)) {
            // The outcome (ended, still running, not started) changes nothing for the removal.
            (void)kickoff::startAndWait(*command, kCleanupWaitMs);
        }
        return int32_t{0};
    });
}

extern "C" int32_t __stdcall DetachUnInitialize(void) {
    return edge::Contained("DetachUnInitialize", int32_t{0}, [] { return int32_t{0}; });
}
