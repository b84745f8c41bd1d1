// A conduit just big enough to check what hotsync.exe hands over: it logs the properties
// it was given, registers like a real conduit, and for sync type 1 shows a "Tarnwick"
// dialog whose Cancel button (9000) ends the session.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ConduitRecords.h"
#include "HotSyncApi.h"

namespace {
bool g_cancelled = false;

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CreateWindowA("BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, dialog,
                      reinterpret_cast<HMENU>(9000), GetModuleHandleA(nullptr), nullptr);
        SetTimer(dialog, 1, 5000, nullptr);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 9000) {
        g_cancelled = true;
        EndDialog(dialog, 1);
        return TRUE;
    }
    if (message == WM_TIMER) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

void showDialog() {
    // An in-memory template: a captioned popup without controls; the button is added above.
    struct {
        DLGTEMPLATE t;
        WORD menu, cls;
        wchar_t caption[9];
    } tpl;
    std::memset(&tpl, 0, sizeof tpl);
    tpl.t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    tpl.t.cx = 120;
    tpl.t.cy = 50;
    std::memcpy(tpl.caption, L"Tarnwick", sizeof(L"Tarnwick"));
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &tpl.t, nullptr, dialogProc, 0);
}

void log(const char* text) { HsLogAddLine(text, -1, 0); }
}  // namespace

extern "C" {
__declspec(dllexport) int32_t GetConduitName(char* buffer, uint16_t length) {
    if (length == 0) return 0;
    std::strncpy(buffer, "Fake", length - 1);
    buffer[length - 1] = 0;
    return 0;
}
__declspec(dllexport) int32_t GetConduitVersion() { return 0x102; }
__declspec(dllexport) int32_t GetConduitInfo(int32_t kind, void*, void* out, uint32_t* size) {
    if (!out || !size) return 1;
    if (kind == 1 && *size == 4) *static_cast<uint32_t*>(out) = 0x10000000;
    if (kind == 2 && *size == 4) *static_cast<uint32_t*>(out) = 0;
    return 0;
}
__declspec(dllexport) int32_t OpenConduit(void*, SyncProperties* props) {
    uint32_t handle = 0;
    int32_t rc = SmRegisterConduit(&handle);
    if (rc != 0) return rc;
    char line[1024];
    std::snprintf(line, sizeof line, "fake: type %d pc [%s] user [%s]", static_cast<int>(props->syncType),
                  props->pcFolder, props->userName);
    log(line);
    if (props->syncType == 1) {
        showDialog();
        log(g_cancelled ? "fake: cancelled" : "fake: not cancelled");
    }
    SmUnregisterConduit(handle);
    return props->syncType == 3 ? 7 : 0;
}
__declspec(dllexport) int32_t CfgConduit(int32_t type, ConduitConfigRecord* record, uint32_t* size) {
    if (type != 0 || !record || !size || *size != 352 || record->version != 1) return 4217;
    record->chosenAction = record->currentAction + 1;
    record->setAsDefault = std::strcmp(record->userName, "Ann") == 0 ? 1 : 2;
    return 0;
}
}
