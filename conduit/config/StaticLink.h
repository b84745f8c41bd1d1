// A static text control that behaves as a hyperlink: underlined, blue until opened and
// purple after, a hand cursor, and a left click opens its target with the shell.
#pragma once
#include <windows.h>
#include <string>

#include "conduit/config/GdiHandles.h"

class CStaticLink {
public:
    static constexpr COLORREF UnvisitedColour = RGB(0, 0, 255);
    static constexpr COLORREF VisitedColour = RGB(128, 0, 128);

    // deleteOnDestroy: the object was made with std::make_unique and released to its window,
    // which then destroys it when the window goes.
    explicit CStaticLink(std::string target = std::string(), bool deleteOnDestroy = false);
    ~CStaticLink();
    CStaticLink(const CStaticLink&) = delete;
    CStaticLink& operator=(const CStaticLink&) = delete;

    // Takes over the parent's static control with that ID.
    bool subclassDlgItem(int controlId, HWND parent);

    // The parent passes on WM_CTLCOLORSTATIC for this control and returns the brush.
    HBRUSH ctlColor(HDC dc) const;

    // What a left click does: finds the target (set, else the string resource numbered as the
    // control, else the control's text) and opens it. False when nothing could be opened.
    bool open();

    HWND hwnd() const { return hwnd_; }
    COLORREF colour() const { return colour_; }
    const std::string& target() const { return target_; }
    void setTarget(std::string target) { target_ = std::move(target); }

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void makeUnderlinedFont();
    std::string resolveTarget() const;
    void detach();

    HWND hwnd_ = nullptr;
    std::string target_;
    COLORREF colour_ = UnvisitedColour;
    OwnedFont font_;
    bool deleteOnDestroy_ = false;
};

// The hand cursor for links, loaded once from the system's help program and kept for the
// life of the process; null when it cannot be had (the default cursor then applies).
HCURSOR LinkCursor();
