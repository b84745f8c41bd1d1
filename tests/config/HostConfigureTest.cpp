// `hotsync.exe configure` loads Tarnwick.dll and its CfgConduit shows the settings dialog:
// the dialog is found in the host's process, worked with real clicks, and the host prints
// what the conduit wrote into the record. The DLL runs from a folder of its own so that its
// settings file is the test's alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "conduit/config/ConfigResource.h"
#include "tests/common/ChildProcess.h"
#include "tests/config/DialogDriver.h"

namespace {

struct Found {
    DWORD process;
    HWND dialog;
};

BOOL CALLBACK FindInProcess(HWND hwnd, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (process == found->process && lstrcmpA(text, kConfigureCaption) == 0 && IsWindowVisible(hwnd)) {
        found->dialog = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialogOf(DWORD process, HANDLE processHandle, int timeoutMs = 20000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        Found found{process, nullptr};
        EnumWindows(&FindInProcess, reinterpret_cast<LPARAM>(&found));
        if (found.dialog) return found.dialog;
        if (WaitForSingleObject(processHandle, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

TEST(HostConfigureTest, HotsyncConfigureShowsTheDialogAndReportsTheChoice) {
    ScratchFolder folder("host");
    const std::string bin = ProgramFolder();
    const std::string conduit = folder.file("Tarnwick.dll");
    ASSERT_TRUE(CopyFileA((bin + "\\Tarnwick.dll").c_str(), conduit.c_str(), FALSE));

    const std::string outputPath = folder.file("host.out");
    ChildOptions options;
    options.folder = bin;
    options.outputFile = outputPath;
    ChildProcess host("\"" + bin + "\\hotsync.exe\" configure --user Pat --action 6 --conduit \"" + conduit + "\"",
                      options);
    ASSERT_TRUE(host.started());

    HWND dialog = WaitForDialogOf(host.id(), host.process());
    EXPECT_NE(dialog, nullptr) << "hotsync.exe configure showed no settings dialog";
    if (dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_ACTION_NOTHING));
        Click(dialog, IDC_ACTION_DESKTOP);
        Click(dialog, IDC_SET_DEFAULT);
        Click(dialog, IDC_FREQUENCY_DAILY);
        Click(dialog, IDOK);
    }
    host.finish(20000);

    std::ifstream in(outputPath);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("CfgConduit answered 0\nchosenAction=3\nsetAsDefault=1"), std::string::npos)
        << text.str();
    EXPECT_EQ(GetPrivateProfileIntA("Pat", "Frequency", 99, folder.file("Tarnwick.ini").c_str()), 1u);
}

}  // namespace
