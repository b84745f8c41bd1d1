// The hyperlink control on a window of the test's own: it takes the mouse, opens its target
// with the shell, turns purple only when that worked, and paints underlined.
#include <windows.h>

#include <gtest/gtest.h>

#include "conduit/config/StaticLink.h"
#include "tests/config/DialogDriver.h"

namespace {

const int kLinkId = 77;

class StaticLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        control = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 5, 5, 150, 16, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLinkId)), nullptr, nullptr);
        ASSERT_NE(control, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        // The recording program stands in for whatever the link points at.
        recorder = folder.file("target.exe");
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\config_started.exe").c_str(), recorder.c_str(), FALSE));
    }
    void TearDown() override {
        if (parent) DestroyWindow(parent);
    }
    void press() { SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3)); }

    ScratchFolder folder{"link"};
    HWND parent = nullptr;
    HWND control = nullptr;
    std::string recorder;
};

TEST_F(StaticLinkTest, TakesTheMouseAndOpensItsTarget) {
    CStaticLink link(recorder);
    EXPECT_NE(SendMessageA(control, WM_NCHITTEST, 0, 0), HTCLIENT) << "a plain static lets the mouse through";
    ASSERT_TRUE(link.subclassDlgItem(kLinkId, parent));
    EXPECT_EQ(SendMessageA(control, WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(link.colour(), CStaticLink::UnvisitedColour);
    press();
    EXPECT_TRUE(WaitForFile(recorder + ".started"));
    EXPECT_EQ(link.colour(), CStaticLink::VisitedColour);
}

TEST_F(StaticLinkTest, WithoutTargetTheControlsTextIsOpened) {
    SetWindowTextA(control, recorder.c_str());
    CStaticLink link;
    ASSERT_TRUE(link.subclassDlgItem(kLinkId, parent));
    press();
    EXPECT_TRUE(WaitForFile(recorder + ".started"));
    EXPECT_EQ(link.colour(), CStaticLink::VisitedColour);
}

TEST_F(StaticLinkTest, FailedOrMissingTargetStaysUnvisited) {
    CStaticLink link(folder.file("no such program.exe"));
    ASSERT_TRUE(link.subclassDlgItem(kLinkId, parent));
    press();
    EXPECT_EQ(link.colour(), CStaticLink::UnvisitedColour);

    link.setTarget("");  // and the control has no text: nothing to open
    EXPECT_FALSE(link.open());
    EXPECT_EQ(link.colour(), CStaticLink::UnvisitedColour);
}

TEST_F(StaticLinkTest, PaintsUnderlinedInTheLinkColour) {
    CStaticLink link("x");
    ASSERT_TRUE(link.subclassDlgItem(kLinkId, parent));
    SendMessageA(control, WM_PAINT, 0, 0);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    ASSERT_TRUE(GetObjectA(font, sizeof description, &description));
    EXPECT_TRUE(description.lfUnderline);

    HDC dc = GetDC(control);
    HBRUSH brush = link.ctlColor(dc);
    EXPECT_NE(brush, nullptr);
    EXPECT_EQ(GetTextColor(dc), CStaticLink::UnvisitedColour);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(control, dc);
}

TEST_F(StaticLinkTest, OwnedLinkGoesWithItsWindow) {
    // Made for its window and released to it; the window's end destroys it (a leak or a double
    // destruction would show under a heap checker, and a dangling subclass would crash here).
    auto owned = std::make_unique<CStaticLink>("x", true);
    ASSERT_TRUE(owned->subclassDlgItem(kLinkId, parent));
    owned.release();
    DestroyWindow(parent);
    parent = nullptr;
}

}  // namespace
