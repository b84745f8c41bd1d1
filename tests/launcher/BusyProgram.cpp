// A program that runs for a while: busy_program MILLISECONDS [RECORD-FILE [broadcast]]. It
// writes its command line to the record file when it starts and "ended" when it is done;
// with "broadcast" it first sends a setting change to every top-level window, as setup
// programs do, and records how long that took ("broadcast N ms").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* record = argc > 2 ? argv[2] : nullptr;
    if (record) {
        if (FILE* f = std::fopen(record, "wb")) {
            std::fprintf(f, "%s\n", GetCommandLineA());
            std::fclose(f);
        }
    }
    if (record && argc > 3 && std::strcmp(argv[3], "broadcast") == 0) {
        const DWORD start = GetTickCount();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                            SMTO_ABORTIFHUNG, 5000, &ignored);
        if (FILE* f = std::fopen(record, "ab")) {
            std::fprintf(f, "broadcast %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
            std::fclose(f);
        }
    }
    Sleep(argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 0);
    if (record) {
        if (FILE* f = std::fopen(record, "ab")) {
            std::fputs("ended\n", f);
            std::fclose(f);
        }
    }
    return 0;
}
