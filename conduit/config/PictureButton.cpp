#include "conduit/config/PictureButton.h"

#include <commctrl.h>
#include "conduit/CommonControls.h"

#include "conduit/config/GdiHandles.h"

namespace {
const UINT_PTR kSubclassId = 0x5042;  // any number unique among this window's subclasses
}

PictureButton::~PictureButton() { detach(); }

bool PictureButton::attach(HWND dialog, int controlId, HINSTANCE resourceModule) {
    detach();
    HWND control = GetDlgItem(dialog, controlId);
    if (!control) return false;
    if (!cc::SetWindowSubclass(control, &PictureButton::subclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = control;
    module_ = resourceModule;
    return true;
}

void PictureButton::detach() {
    if (hwnd_) cc::RemoveWindowSubclass(hwnd_, &PictureButton::subclassProc, kSubclassId);
    hwnd_ = nullptr;
}

void PictureButton::setImages(UINT normalBitmap, UINT pressedBitmap, int width, int height) {
    normal_ = normalBitmap;
    pressed_ = pressedBitmap;
    width_ = width;
    height_ = height;
}

void PictureButton::fit() {
    if (!hwnd_ || width_ <= 0 || height_ <= 0) return;
    HWND parent = GetParent(hwnd_);
    RECT rect;
    GetWindowRect(hwnd_, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    int left = rect.left + ((rect.right - rect.left) - width_) / 2;
    int top = rect.top + ((rect.bottom - rect.top) - height_) / 2;
    MoveWindow(hwnd_, left, top, width_, height_, TRUE);
}

void PictureButton::draw(const DRAWITEMSTRUCT& item) const {
    // Focus changes alone need no new picture.
    if (!(item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT))) return;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    UINT bitmapId = (item.itemState & ODS_SELECTED) && pressed_ ? pressed_ : normal_;
    if (!bitmapId || width_ <= 0 || height_ <= 0) return;
    // The image list masks the bitmap in place, so each drawing starts from a fresh copy.
    OwnedBitmap bitmap(LoadBitmapA(module_, MAKEINTRESOURCEA(bitmapId)));
    if (!bitmap) return;  // a missing bitmap leaves the button empty
    OwnedImageList images(cc::ImageList_Create(width_, height_, ILC_COLOR24 | ILC_MASK, 1, 0));
    if (!images || cc::ImageList_AddMasked(images.get(), bitmap.get(), TransparentColour) < 0) return;
    RECT client;
    GetClientRect(item.hwndItem, &client);
    int x = ((client.right - client.left) - width_) / 2;
    int y = ((client.bottom - client.top) - height_) / 2;
    cc::ImageList_Draw(images.get(), 0, item.hDC, x, y, ILD_TRANSPARENT);
}

LRESULT CALLBACK PictureButton::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR self) {
    auto* button = reinterpret_cast<PictureButton*>(self);
    switch (message) {
    case WM_SETCURSOR:
        if (button->cursor_) {
            SetCursor(button->cursor_);
            return TRUE;
        }
        break;
    case WM_NCDESTROY:
        cc::RemoveWindowSubclass(hwnd, &PictureButton::subclassProc, kSubclassId);
        button->hwnd_ = nullptr;
        break;
    }
    return cc::DefSubclassProc(hwnd, message, wParam, lParam);
}
