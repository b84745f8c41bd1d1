// Stands in for the desktop program: appends its command line to quillmark-args.txt
// beside itself, stays while quillmark-hold exists there (at most a minute), sends a
// setting change to every top-level window when quillmark-broadcast exists there (as setup
// programs do), then writes quillmark-done.txt.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.erase(dir.find_last_of('\\') + 1);

    if (FILE* f = std::fopen((dir + "quillmark-args.txt").c_str(), "ab")) {
        std::fprintf(f, "%s\n", GetCommandLineA());
        std::fclose(f);
    }
    const std::string hold = dir + "quillmark-hold";
    for (int i = 0; i < 600 && GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    if (GetFileAttributesA((dir + "quillmark-broadcast").c_str()) != INVALID_FILE_ATTRIBUTES) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                            SMTO_ABORTIFHUNG, 5000, &ignored);
    }
    if (FILE* f = std::fopen((dir + "quillmark-done.txt").c_str(), "wb")) std::fclose(f);
    return 0;
}
