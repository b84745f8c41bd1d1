// The few common-control calls the conduit makes. The library is imported, so the loader
// brings it in with the conduit, on the thread that loads the conduit and before any thread
// of ours exists. Binding it at the first call instead saved that load when HotSync only
// identifies the conduit, but then the progress window's thread loaded it: that first load
// registers window classes while holding the loader lock, and a host thread that waited on
// the loader lock while holding what class registration needs (one looking for our window,
// say) hung the HotSync for good, about one in eight when Cancel came in the first
// milliseconds. Loading it early on HotSync's thread is not enough, since host threads may
// be running by then.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace cc {

using ::DefSubclassProc;
using ::ImageList_AddMasked;
using ::ImageList_Create;
using ::ImageList_Destroy;
using ::ImageList_Draw;
using ::InitCommonControlsEx;
using ::RemoveWindowSubclass;
using ::SetWindowSubclass;

}  // namespace cc
