// Owners for the GDI objects and image lists the dialog's controls use, so a bitmap or font
// is released on every way out of the code that made it (modules: engine/Win32Handles.h).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "conduit/CommonControls.h"
#include "engine/Win32Handles.h"
#include <memory>
#include <type_traits>

struct GdiObjectDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
struct ImageListDeleter {
    void operator()(_IMAGELIST* list) const { cc::ImageList_Destroy(list); }
};

using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using OwnedImageList = std::unique_ptr<_IMAGELIST, ImageListDeleter>;
