// The real progress window under Xvfb: the template, what the sink shows, Cancel, and a
// picture of it for the documentation.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <commctrl.h>
#include "TestSupport.h"
#include "engine/Win32Handles.h"
#include "conduit/ProgressWindow.h"
#include "conduit/ProgressWindowSink.h"

namespace {
bool eventually(const std::function<bool()>& condition, DWORD timeoutMs = 3000) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 10) {
        if (condition()) return true;
        Sleep(10);
    }
    return false;
}

int barPosition(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, 9001, PBM_GETPOS, 0, 0)); }
int barHigh(HWND dialog) { return static_cast<int>(SendDlgItemMessageA(dialog, 9001, PBM_GETRANGE, FALSE, 0)); }

// A progress window on a window thread of its own, as in a session.
class ShownWindow : public ::testing::Test {
protected:
    void SetUp() override { window_.setCancelEvent(event_.get()); }
    void show() {
        thread_ = std::thread([this] { created_ = window_.runModal(); });
        ASSERT_TRUE(eventually([this] { return window_.window() != nullptr; })) << "no window";
        dialog_ = window_.window();
    }
    void TearDown() override {
        window_.close();
        if (thread_.joinable()) thread_.join();
        EXPECT_TRUE(created_);
        EXPECT_EQ(nullptr, window_.window());
    }
    bool shows(int id, const std::string& text) {
        return eventually([&] { return ControlText(dialog_, id) == text; });
    }

    OwnedHandle event_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    ProgressWindow window_;
    ProgressWindowSink sink_{&window_, event_.get()};
    std::thread thread_;
    bool created_ = false;
    HWND dialog_ = nullptr;
};
}  // namespace

TEST_F(ShownWindow, ARangeSentToAWindowThreadThatDoesNotAnswerGivesUpAndArrivesLater) {
    show();
    HeldMessageLoop held(dialog_);
    ASSERT_TRUE(held.hooked());
    Sleep(200);  // the window thread is in the hook now
    auto sent = std::async(std::launch::async, [this] { sink_.SetRange(500); });
    const bool returned = sent.wait_for(std::chrono::milliseconds(ProgressWindow::kBarRangeWaitMs + 3000)) ==
                          std::future_status::ready;
    held.release();
    sent.wait();
    EXPECT_TRUE(returned) << "the worker stalled with the window thread";
    EXPECT_TRUE(eventually([this] { return barHigh(dialog_) == 500; }));
}

TEST_F(ShownWindow, TemplateHasTheControlsWhereTheLayoutPutsThem) {
    show();
    char caption[32] = {};
    GetWindowTextA(dialog_, caption, sizeof caption);
    EXPECT_STREQ("Tarnwick", caption);
    LONG style = GetWindowLongA(dialog_, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & DS_MODALFRAME);
    EXPECT_EQ(nullptr, GetWindow(dialog_, GW_OWNER));

    struct Expected { int id; RECT dlu; const char* className; };
    const Expected controls[] = {
        {9004, {7, 7, 211, 8}, "Static"},   {9002, {7, 21, 173, 8}, "Static"},
        {9003, {183, 21, 35, 8}, "Static"}, {9001, {7, 37, 211, 14}, "msctls_progress32"},
        {9000, {168, 61, 50, 14}, "Button"}};
    for (const Expected& c : controls) {
        HWND control = GetDlgItem(dialog_, c.id);
        ASSERT_NE(nullptr, control) << c.id;
        RECT want = c.dlu;  // x, y, width, height: each is mapped on its own
        MapDialogRect(dialog_, &want);
        RECT got;
        GetWindowRect(control, &got);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(want.left, got.left) << c.id;
        EXPECT_EQ(want.top, got.top) << c.id;
        EXPECT_EQ(want.right, got.right - got.left) << c.id;
        EXPECT_EQ(want.bottom, got.bottom - got.top) << c.id;
        char name[64] = {};
        GetClassNameA(control, name, sizeof name);
        EXPECT_EQ(0, lstrcmpiA(c.className, name)) << c.id << " " << name;
    }
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog_, 9003), GWL_STYLE) & SS_RIGHT);
    EXPECT_EQ("Cancel", ControlText(dialog_, 9000));
    // The template's placeholder texts are never shown.
    EXPECT_EQ("", ControlText(dialog_, 9002));
    EXPECT_EQ("", ControlText(dialog_, 9003));
    EXPECT_EQ("", ControlText(dialog_, 9004));
    RECT client = {0, 0, 225, 82};
    MapDialogRect(dialog_, &client);
    RECT actual;
    GetClientRect(dialog_, &actual);
    EXPECT_EQ(client.right, actual.right);
    EXPECT_EQ(client.bottom, actual.bottom);
}

TEST_F(ShownWindow, TextsSetBeforeTheWindowExistsAppearWhenItIsCreated) {
    sink_.SetCardText("Synchronizing Palm Card: Early");
    sink_.SetRange(10);
    sink_.SetFileProgress(4, "/early.txt", 0);
    show();
    EXPECT_EQ("Synchronizing Palm Card: Early", ControlText(dialog_, 9004));
    EXPECT_EQ("/early.txt", ControlText(dialog_, 9002));
    EXPECT_EQ("4/10", ControlText(dialog_, 9003));
    EXPECT_EQ(4, barPosition(dialog_));
    EXPECT_EQ(10, barHigh(dialog_));
}

TEST_F(ShownWindow, SinkShowsCountsSizesAndAFullBar) {
    show();
    sink_.SetCardText("Card A");
    sink_.SetRange(10);
    sink_.SetFileProgress(3, "/notes.txt", 0);
    EXPECT_TRUE(shows(9003, "3/10"));
    EXPECT_EQ("/notes.txt", ControlText(dialog_, 9002));
    EXPECT_EQ(3, barPosition(dialog_));
    EXPECT_EQ(10, barHigh(dialog_));

    sink_.SetFileProgress(-1, "/photo.jpg", 2048);
    EXPECT_TRUE(shows(9002, "/photo.jpg (2KB)"));
    EXPECT_EQ("", ControlText(dialog_, 9003));
    EXPECT_EQ(10, barPosition(dialog_));

    sink_.SetFileText("Comparing files");
    EXPECT_TRUE(shows(9002, "Comparing files"));
    EXPECT_EQ(10, barPosition(dialog_));  // the position stays

    sink_.SetFileProgress(7, "/b", 100);
    EXPECT_TRUE(shows(9003, "7/10"));
    // A new card empties the lines and the bar but keeps the range.
    sink_.SetCardText("Card B");
    EXPECT_TRUE(shows(9004, "Card B"));
    EXPECT_EQ("", ControlText(dialog_, 9002));
    EXPECT_EQ("", ControlText(dialog_, 9003));
    EXPECT_TRUE(eventually([&] { return barPosition(dialog_) == 0; }));
    EXPECT_EQ(10, barHigh(dialog_));
    EXPECT_EQ(10u, window_.state().total);

    // Ranges beyond 16 bits, stepped through as fast as a scan would: the window ends on
    // the last state, however many refreshes were folded together on the way.
    sink_.SetRange(70000);
    for (int32_t i = 0; i < 70000; ++i) sink_.SetFileProgress(i, "/f", 0);
    EXPECT_TRUE(shows(9003, "69999/70000"));
    EXPECT_EQ(70000, barHigh(dialog_));
    EXPECT_EQ(69999, barPosition(dialog_));
}

TEST_F(ShownWindow, CancelEscapeAndCloseBoxSignalButNeverClose) {
    show();
    EXPECT_FALSE(sink_.IsCancelled());
    HWND cancel = GetDlgItem(dialog_, 9000);
    SendMessageA(cancel, BM_CLICK, 0, 0);
    EXPECT_TRUE(sink_.IsCancelled());
    SendMessageA(cancel, BM_CLICK, 0, 0);
    SendMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);     // Escape
    SendMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
    Sleep(100);
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_EQ(dialog_, window_.window());
    EXPECT_TRUE(sink_.IsCancelled());  // and it stays signalled
    // Only the session's close message ends the window.
    EXPECT_TRUE(window_.close());
    EXPECT_TRUE(eventually([&] { return !IsWindow(dialog_); }));
}

TEST_F(ShownWindow, DrawsItselfForThePicture) {
    show();
    sink_.SetCardText("Synchronizing Palm Card: SD Card");
    sink_.SetRange(12);
    sink_.SetFileProgress(5, "/DCIM/100CANON/IMG_0042.JPG", 1536000);
    ASSERT_TRUE(shows(9003, "5/12"));
    EXPECT_EQ("/DCIM/100CANON/IMG_0042.JPG (1500KB)", ControlText(dialog_, 9002));
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);

    // The client area: without a window manager nobody draws the frame and caption.
    RECT bounds;
    GetClientRect(dialog_, &bounds);
    MapWindowPoints(dialog_, nullptr, reinterpret_cast<POINT*>(&bounds), 2);
    int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    ASSERT_GT(width, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(nullptr, bitmap);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // What is on the screen, as the user sees it (drawing into a memory context would
    // leave out the child controls under some window managers).
    SetForegroundWindow(dialog_);
    BitBlt(memory, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
    GdiFlush();
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    size_t count = static_cast<size_t>(width) * height;
    std::vector<uint32_t> colours;
    for (size_t i = 0; i < count && colours.size() < 8; ++i) {
        uint32_t c = pixels[i] & 0xFFFFFF;
        if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
    }
    // Frame, face, text, the bar: a drawn window has many colours, a blank one two.
    EXPECT_GE(colours.size(), 4u) << "the picture is blank";

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(count * 4);
    if (FILE* out = std::fopen("progress-window.bmp", "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, 4, count, out);
        std::fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST(ProgressWindowAlone, CloseBeforeTheWindowExistsEndsItAsSoonAsItAppears) {
    ProgressWindow window;
    EXPECT_FALSE(window.close());
    DWORD start = GetTickCount();
    window.runModal();  // would run forever if the early close were lost
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(nullptr, window.window());
}

// The worker asks once per entry; the answer must still follow the event itself, whoever
// set it, and a yes must stay a yes.
TEST(ProgressWindowAlone, CancelIsSeenWhoeverSetTheEventAndStaysSeen) {
    OwnedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ProgressWindow window;
    window.setCancelEvent(event.get());
    ProgressWindowSink sink(&window, event.get());
    for (int i = 0; i < 500; ++i) ASSERT_FALSE(sink.IsCancelled()) << i;
    SetEvent(event.get());  // not through the window
    int asked = 1;
    while (!sink.IsCancelled() && asked < 1000) ++asked;
    EXPECT_LE(asked, 64) << "a cancel must be seen within a few entries";
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(sink.IsCancelled()) << i;

    // An event already set is seen at the first question.
    ProgressWindowSink late(&window, event.get());
    EXPECT_TRUE(late.IsCancelled());
    // Without an event nothing is ever cancelled.
    ProgressWindowSink none(&window, nullptr);
    EXPECT_FALSE(none.IsCancelled());
}
