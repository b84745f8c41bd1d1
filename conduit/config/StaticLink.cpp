#include "conduit/config/StaticLink.h"

#include <commctrl.h>
#include "conduit/CommonControls.h"
#include "dllshared/DllEdge.h"
#include <shellapi.h>
#include <memory>

#include "conduit/ResourceModule.h"

namespace {
const UINT_PTR kSubclassId = 0x4C4B;

std::string WindowText(HWND hwnd) {
    int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(hwnd, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

HCURSOR LoadHelpProgramHand() {
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::string path = std::string(folder, length) + "\\winhlp32.exe";
    OwnedModule help(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!help) return nullptr;
    HCURSOR shared = LoadCursorA(help.get(), MAKEINTRESOURCEA(106));
    // A copy outlives the module it came from.
    return shared ? static_cast<HCURSOR>(CopyImage(shared, IMAGE_CURSOR, 0, 0, 0)) : nullptr;
}
}  // namespace

HCURSOR LinkCursor() {
    static const HCURSOR hand = LoadHelpProgramHand();
    return hand;
}

CStaticLink::CStaticLink(std::string target, bool deleteOnDestroy)
    : target_(std::move(target)), deleteOnDestroy_(deleteOnDestroy) {}

CStaticLink::~CStaticLink() { detach(); }

bool CStaticLink::subclassDlgItem(int controlId, HWND parent) {
    detach();
    HWND control = GetDlgItem(parent, controlId);
    if (!control) return false;
    if (!cc::SetWindowSubclass(control, &CStaticLink::subclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = control;
    return true;
}

void CStaticLink::detach() {
    if (hwnd_) cc::RemoveWindowSubclass(hwnd_, &CStaticLink::subclassProc, kSubclassId);
    hwnd_ = nullptr;
}

HBRUSH CStaticLink::ctlColor(HDC dc) const {
    SetTextColor(dc, colour_);
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
}

void CStaticLink::makeUnderlinedFont() {
    if (font_ || !hwnd_) return;
    HFONT own = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (!GetObjectA(own ? static_cast<HGDIOBJ>(own) : GetStockObject(DEFAULT_GUI_FONT),
                    sizeof description, &description))
        return;
    description.lfUnderline = TRUE;
    font_.reset(CreateFontIndirectA(&description));
    // The control draws its text with the font it was given, so hand it the underlined one;
    // the font stays ours and outlives the window's use of it.
    if (font_) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

std::string CStaticLink::resolveTarget() const {
    if (!target_.empty()) return target_;
    char text[1024];
    int id = GetDlgCtrlID(hwnd_);
    int length = id > 0 ? LoadStringA(ResourceModule(), static_cast<UINT>(id), text, sizeof text) : 0;
    if (length > 0) return std::string(text, static_cast<size_t>(length));
    return WindowText(hwnd_);
}

bool CStaticLink::open() {
    if (!hwnd_) return false;
    std::string target = resolveTarget();
    if (target.empty()) return false;
    HINSTANCE result = ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        MessageBeep(0);
        return false;
    }
    colour_ = VisitedColour;
    InvalidateRect(hwnd_, nullptr, TRUE);
    return true;
}

LRESULT CALLBACK CStaticLink::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR self) {
    auto* link = reinterpret_cast<CStaticLink*>(self);
    switch (message) {
    case WM_NCHITTEST:
        // A static text is transparent to the mouse; the link must receive it.
        return HTCLIENT;
    case WM_LBUTTONDOWN:
        // The only handler that allocates; nothing may unwind into the system's frames.
        edge::Contained("the web link", false, [link] { return link->open(); });
        return 0;
    case WM_SETCURSOR:
        if (HCURSOR hand = LinkCursor()) {
            SetCursor(hand);
            return TRUE;
        }
        break;
    case WM_PAINT:
        link->makeUnderlinedFont();
        break;
    case WM_NCDESTROY: {
        cc::RemoveWindowSubclass(hwnd, &CStaticLink::subclassProc, kSubclassId);
        link->hwnd_ = nullptr;
        LRESULT result = cc::DefSubclassProc(hwnd, message, wParam, lParam);
        if (link->deleteOnDestroy_) std::unique_ptr<CStaticLink> owned(link);
        return result;
    }
    }
    return cc::DefSubclassProc(hwnd, message, wParam, lParam);
}
