// A push button drawn by its owner: a bitmap centred in the button, with one colour of the
// bitmap (pure green) left transparent so the button face shows through.
#pragma once
#include <windows.h>

class PictureButton {
public:
    static constexpr COLORREF TransparentColour = RGB(0, 255, 0);

    PictureButton() = default;
    ~PictureButton();
    PictureButton(const PictureButton&) = delete;
    PictureButton& operator=(const PictureButton&) = delete;

    // Takes over the dialog's control; the bitmaps come from resourceModule.
    bool attach(HWND dialog, int controlId, HINSTANCE resourceModule);
    // Bitmaps by resource number for the normal and the pressed state (0: none), and the size
    // of the image in pixels.
    void setImages(UINT normalBitmap, UINT pressedBitmap, int width, int height);
    // Moves and resizes the button to the image size, centred on where the template put it.
    void fit();
    // A cursor for the pointer over the button; null keeps the default handling.
    void setCursor(HCURSOR cursor) { cursor_ = cursor; }

    // The parent's WM_DRAWITEM for this button.
    void draw(const DRAWITEMSTRUCT& item) const;

    HWND hwnd() const { return hwnd_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void detach();

    HWND hwnd_ = nullptr;
    HINSTANCE module_ = nullptr;
    UINT normal_ = 0;
    UINT pressed_ = 0;
    int width_ = 0;
    int height_ = 0;
    HCURSOR cursor_ = nullptr;
};
