// Another windowed program on the desktop, for the stress test: neighbour MODE MILLISECONDS.
//   stall      owns a top-level window and answers no message for 3 s at a time, pumping
//              for 100 ms between;
//   broadcast  sends a setting change to every top-level window every 500 ms, as setup
//              programs do (each send waits up to 5 s for a window that does not answer).
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const DWORD total = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const DWORD start = GetTickCount();
    if (std::strcmp(argv[1], "stall") == 0) {
        HWND window = CreateWindowExA(0, "STATIC", "neighbour", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 120, 80, nullptr,
                                      nullptr, nullptr, nullptr);
        if (!window) return 1;
        while (GetTickCount() - start < total) {
            Sleep(3000);
            const DWORD pumpFrom = GetTickCount();
            MSG message;
            while (GetTickCount() - pumpFrom < 100) {
                while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
                Sleep(10);
            }
        }
        return 0;
    }
    if (std::strcmp(argv[1], "broadcast") == 0) {
        while (GetTickCount() - start < total) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                                SMTO_ABORTIFHUNG, 5000, &ignored);
            Sleep(500);
        }
        return 0;
    }
    return 2;
}
