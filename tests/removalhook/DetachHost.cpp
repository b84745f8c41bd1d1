// Plays the removal program: started with -f/-c options on its command line, it owns a
// top-level window (as a removal program's progress window), loads Detach.dll from its own
// folder and calls both exports by their undecorated names, pumping no messages itself.
// Exit code: 0 when both answered 0; 3 no DLL; 4 no export; 5 a nonzero answer.
#include "removalhook/Detach.h"

#include <windows.h>

#include <string>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dll(self);
    dll.erase(dll.find_last_of('\\') + 1);
    dll += "Detach.dll";

    HWND window = CreateWindowExA(0, "STATIC", "removal", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    HMODULE module = LoadLibraryA(dll.c_str());
    if (module == nullptr) return 3;
    auto initialize = reinterpret_cast<DetachFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DetachInitialize")));
    auto uninitialize = reinterpret_cast<DetachFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DetachUnInitialize")));
    int code = 4;
    if (initialize != nullptr && uninitialize != nullptr) {
        code = initialize() == 0 && uninitialize() == 0 ? 0 : 5;
    }
    FreeLibrary(module);
    if (window) DestroyWindow(window);
    return code;
}
