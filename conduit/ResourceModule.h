// The module that holds this code and its resources (the conduit DLL, or a test program
// that links the same code and resources), found from an address inside it.
#pragma once
#include <windows.h>

inline HMODULE ResourceModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ResourceModule), &module);
    return module;
}
