// Renders the open settings dialog into config-dialog.bmp in the working folder, the picture
// the project's documentation shows (converted with conduit/config/bmp_to_png.py).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "conduit/config/ConfigResource.h"
#include "conduit/config/ConfigureDialog.h"
#include "settings/Settings.h"
#include "tests/config/DialogDriver.h"

namespace {

bool WriteWindowBitmap(HWND window, const char* path) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // What the screen shows, as the user sees it.
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(rowBytes) * height);
    int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                         DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

TEST(SnapshotTest, RendersTheDialogForTheDocumentation) {
    ScratchFolder folder("snapshot");
    Settings settings(folder.file("Tarnwick.ini"));
    ConduitConfigRecord record;
    std::memset(&record, 0, sizeof record);
    record.version = 1;
    std::strcpy(record.userName, "Pat");
    record.currentAction = 0;
    DialogDriver driver([&] { RunConfigureDialog(record, settings); });
    HWND dialog = driver.waitForDialog();
    ASSERT_NE(dialog, nullptr);
    Sleep(300);  // let the first paint finish
    EXPECT_TRUE(WriteWindowBitmap(dialog, "config-dialog.bmp"));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(driver.waitDone());
}

}  // namespace
