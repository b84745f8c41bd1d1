// Button 9019 starts the program beside the module that shows the dialog. The dialog code
// is put into a module of its own at X\Tarnwick.dll, with a recording program at
// X\Tarnwick.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "conduit/config/ConfigChoices.h"
#include "conduit/config/ConfigResource.h"
#include "tests/config/DialogDriver.h"

namespace {

using ProbeConfigureFn = void (*)(ConduitConfigRecord*);

TEST(DesktopApplicationTest, ButtonStartsTheProgramBesideTheModuleAndKeepsTheDialog) {
    ScratchFolder folder("desktop");
    const std::string bin = ProgramFolder();
    ASSERT_TRUE(CopyFileA((bin + "\\config_probe.dll").c_str(), folder.file("Tarnwick.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((bin + "\\config_started.exe").c_str(), folder.file("Tarnwick.exe").c_str(), FALSE));

    HMODULE probe = LoadLibraryA(folder.file("Tarnwick.dll").c_str());
    ASSERT_NE(probe, nullptr);
    auto configure = reinterpret_cast<ProbeConfigureFn>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeConfigure")));
    ASSERT_NE(configure, nullptr);

    ConduitConfigRecord record;
    std::memset(&record, 0, sizeof record);
    record.version = 1;
    std::strcpy(record.userName, "Pat");
    record.currentAction = 0;
    {
        DialogDriver driver([&] { configure(&record); });
        HWND dialog = driver.waitForDialog();
        ASSERT_NE(dialog, nullptr);
        Click(dialog, IDC_DESKTOP_APP);
        EXPECT_TRUE(WaitForFile(folder.file("Tarnwick.exe.started"))) << "Tarnwick.exe was not started";
        EXPECT_FALSE(driver.done()) << "the dialog closed";
        EXPECT_TRUE(IsWindow(dialog));
        Click(dialog, IDCANCEL);
        ASSERT_TRUE(driver.waitDone());
    }
    // The module's own settings file was not touched by a cancelled dialog.
    EXPECT_EQ(GetFileAttributesA(folder.file("Tarnwick.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    FreeLibrary(probe);
}

TEST(DesktopApplicationPathTest, ReplacesTheModulesExtension) {
    EXPECT_EQ(DesktopApplicationPath("C:\\X\\Tarnwick.dll"), "C:\\X\\Tarnwick.exe");
    EXPECT_EQ(DesktopApplicationPath("C:\\X\\Tarnwick.old.dll"), "C:\\X\\Tarnwick.old.exe");
    EXPECT_EQ(DesktopApplicationPath("C:\\X\\Tarnwick."), "C:\\X\\Tarnwick.exe");
    EXPECT_EQ(DesktopApplicationPath("C:\\X\\Tarnwick"), "");
    EXPECT_EQ(DesktopApplicationPath(""), "");
    // A dot in a folder's name is no extension: C:\Pro.Files.exe is not the program beside.
    EXPECT_EQ(DesktopApplicationPath("C:\\Pro.Files\\Tarnwick"), "");
}

}  // namespace
