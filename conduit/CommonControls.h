// The few common-control calls the conduit makes, bound to the library at the first call
// rather than when the conduit is loaded. Loading the library registers its window classes
// and themes and costs tens of milliseconds under some systems: every HotSync paid that
// before its first step, although only the progress window (on its own thread) and the
// settings dialog need it. Without the library each call fails as the real one would.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace cc {

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);
HIMAGELIST ImageList_Create(int width, int height, UINT flags, int initial, int grow);
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
BOOL ImageList_Destroy(HIMAGELIST list);
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace cc
