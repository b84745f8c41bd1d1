// Kickoff.dll: starts a program for an installer and optionally waits for it.
#include "launcher/Kickoff.h"

#include "dllshared/DllEdge.h"
#include "launcher/ProcessStart.h"
#include "launcher/WaitPlan.h"

#include <windows.h>

namespace {
// Recorded on load only; the launcher needs nothing else from its own module.
HINSTANCE g_module = nullptr;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" int32_t __stdcall LaunchApp(uint32_t /*firstArgument*/, uint32_t waitSeconds,
                                       const char* commandLine) {
    // Nothing may unwind into the installer (a failed allocation, say): it answers "could
    // not be started" instead; there is no log to tell.
    return edge::Contained("LaunchApp", int32_t{kickoff::kFailed}, [&]() -> int32_t {
        // Without a command line there is nothing to start; process creation would otherwise
        // be handed a null text.
        if (commandLine == nullptr) return kickoff::kFailed;
        return kickoff::startAndWait(commandLine, kickoff::waitMilliseconds(waitSeconds));
    });
}
