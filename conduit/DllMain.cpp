// The conduit library's entry point: it keeps the library loaded once loaded.
//
// HotSync loads and frees its conduits at every HotSync, and each load and free of a
// library that carries its C++ runtime inside (the release ships no runtime libraries)
// leaves that runtime's per-load state behind: two handles and about 19 KB under wine, and
// as much again for the conduit's system libraries where HotSync has not loaded them itself.
// Weeks of HotSyncs would add up. A new version replaces the file while HotSync is
// stopped, as setup and removal restart it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&DllMain), &self);
    }
    return TRUE;
}
