#include "conduit/CommonControls.h"

namespace {

template <typename Fn>
Fn bind(HMODULE module, const char* name) {
    // Through void*: the exported address is the function's, whatever FARPROC claims.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct Library {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using CreateFn = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
    using AddMaskedFn = int(WINAPI*)(HIMAGELIST, HBITMAP, COLORREF);
    using DrawFn = BOOL(WINAPI*)(HIMAGELIST, int, HDC, int, int, UINT);
    using DestroyFn = BOOL(WINAPI*)(HIMAGELIST);
    using SetSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
    using RemoveSubclassFn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);
    using DefSubclassFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

    InitFn init = nullptr;
    CreateFn create = nullptr;
    AddMaskedFn addMasked = nullptr;
    DrawFn draw = nullptr;
    DestroyFn destroy = nullptr;
    SetSubclassFn setSubclass = nullptr;
    RemoveSubclassFn removeSubclass = nullptr;
    DefSubclassFn defSubclass = nullptr;

    Library() {
        // Stays loaded for the life of the process: windows of its classes may outlive any
        // object that could own it here.
        HMODULE module = LoadLibraryA("comctl32.dll");
        if (!module) return;
        init = bind<InitFn>(module, "InitCommonControlsEx");
        create = bind<CreateFn>(module, "ImageList_Create");
        addMasked = bind<AddMaskedFn>(module, "ImageList_AddMasked");
        draw = bind<DrawFn>(module, "ImageList_Draw");
        destroy = bind<DestroyFn>(module, "ImageList_Destroy");
        setSubclass = bind<SetSubclassFn>(module, "SetWindowSubclass");
        removeSubclass = bind<RemoveSubclassFn>(module, "RemoveWindowSubclass");
        defSubclass = bind<DefSubclassFn>(module, "DefSubclassProc");
    }
};

const Library& library() {
    // Made once, by whichever thread asks first; the others wait for it.
    static const Library loaded;
    return loaded;
}

}  // namespace

namespace cc {

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    return library().init ? library().init(controls) : FALSE;
}
HIMAGELIST ImageList_Create(int width, int height, UINT flags, int initial, int grow) {
    return library().create ? library().create(width, height, flags, initial, grow) : nullptr;
}
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    return library().addMasked ? library().addMasked(list, bitmap, mask) : -1;
}
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
    return library().draw ? library().draw(list, index, dc, x, y, style) : FALSE;
}
BOOL ImageList_Destroy(HIMAGELIST list) { return library().destroy ? library().destroy(list) : FALSE; }
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    return library().setSubclass ? library().setSubclass(window, proc, id, data) : FALSE;
}
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    return library().removeSubclass ? library().removeSubclass(window, proc, id) : FALSE;
}
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only reached from a subclass procedure, so the library is there; the fallback keeps
    // a window usable regardless.
    return library().defSubclass ? library().defSubclass(window, message, wParam, lParam)
                                 : DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace cc
