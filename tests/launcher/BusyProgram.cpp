// A program that runs for a while: busy_program MILLISECONDS [RECORD-FILE]. It writes its
// command line to the record file when it starts and "ended" when it is done.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const char* record = argc > 2 ? argv[2] : nullptr;
    if (record) {
        if (FILE* f = std::fopen(record, "wb")) {
            std::fprintf(f, "%s\n", GetCommandLineA());
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
