// Stand-in HotSync control library (HsApi.dll): it finds the stand-in manager (hotsync.exe
// manager) by its window, starts it from the installation's HotSyncPath, and tells a
// running HotSync by the mutex hotsync.exe holds meanwhile.
#define HOTSYNC_BUILDING_STANDIN
#include <windows.h>

#include <string>

#include "HsApi.h"
#include "platform/stubs/StandinRegistry.h"

namespace {

HWND managerWindow() { return FindWindowA(standin::kManagerWindowClass, nullptr); }

// Waits up to twenty seconds for the manager's window to be there (or gone).
bool waitForManager(bool running) {
    for (int i = 0; i < 200; ++i) {
        if ((managerWindow() != nullptr) == running) return true;
        Sleep(100);
    }
    return (managerWindow() != nullptr) == running;
}

long closeManager() {
    HWND window = managerWindow();
    if (!window) return 0;
    PostMessageA(window, WM_CLOSE, 0, 0);
    return waitForManager(false) ? 0 : HS_ERR_TIMED_OUT;
}

long startManager() {
    if (managerWindow()) return 0;
    standin::Installation installation;
    if (!standin::readInstallation(installation) ||
        GetFileAttributesA(installation.hotsyncPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return HS_ERR_NOT_FOUND;
    std::string line = "\"" + installation.hotsyncPath + "\" manager";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Started in its own folder, so that it keeps no other folder in use.
    if (!CreateProcessA(installation.hotsyncPath.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        installation.folder.c_str(), &startup, &process))
        return HS_ERR_NOT_FOUND;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waitForManager(true) ? 0 : HS_ERR_TIMED_OUT;
}

}  // namespace

extern "C" {

long HSCTLAPI HsGetSyncStatus(uint32_t* status) {
    if (!status) return HS_ERR_BAD_ARGUMENT;
    standin::Installation installation;
    if (!standin::readInstallation(installation)) return HS_ERR_NOT_FOUND;
    HANDLE running = OpenMutexA(SYNCHRONIZE, FALSE, standin::kSyncRunningMutex);
    *status = running ? 1 : 0;
    if (running) CloseHandle(running);
    return 0;
}

long HSCTLAPI HsSetAppStatus(int what, uint32_t flags) {
    if (flags != 0) return HS_ERR_BAD_ARGUMENT;
    switch (what) {
    case HS_APP_CLOSE:
        return closeManager();
    case HS_APP_START:
        return startManager();
    case HS_APP_RESTART: {
        long closed = closeManager();
        return closed != 0 ? closed : startManager();
    }
    default:
        return HS_ERR_BAD_ARGUMENT;
    }
}

long HSCTLAPI HsRefreshConduitInfo(void) {
    HWND window = managerWindow();
    if (!window) return HS_ERR_NOT_FOUND;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, standin::kRefreshMessage, 0, 0, SMTO_NORMAL, 10000, &answer))
        return HS_ERR_TIMED_OUT;
    return 0;
}
}
