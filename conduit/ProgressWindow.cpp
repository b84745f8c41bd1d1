#include "conduit/ProgressWindow.h"
#include <commctrl.h>
#include "conduit/CommonControls.h"
#include "conduit/DllEdge.h"
#include "engine/HotSyncLog.h"
#include "conduit/ResourceModule.h"
#include "conduit/TarnwickIds.h"

namespace {
void ensureProgressClass() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    cc::InitCommonControlsEx(&controls);
}
}  // namespace

bool ProgressWindow::runModal() {
    ensureProgressClass();
    INT_PTR result = DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                     &ProgressWindow::dialogProc, reinterpret_cast<LPARAM>(this));
    return result != -1;
}

HWND ProgressWindow::window() const {
    std::lock_guard<std::mutex> guard(lock_);
    return window_;
}

ProgressState ProgressWindow::state() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}

void ProgressWindow::requestRefresh() {
    std::lock_guard<std::mutex> guard(lock_);
    // One refresh in the queue is enough: it shows the state as it is when handled. A card
    // of tens of thousands of files would otherwise fill the window thread's queue.
    if (window_ && !refreshPending_) refreshPending_ = PostMessageA(window_, WM_PROGRESS_REFRESH, 0, 0) != FALSE;
}

void ProgressWindow::setBarRange(uint32_t total) {
    HWND dialog = window();
    // Sent without the lock: the window thread takes the lock in its own handlers.
    if (dialog) SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
}

bool ProgressWindow::close() {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
    if (window_) PostMessageA(window_, WM_PROGRESS_CLOSE, 0, 0);
    return window_ != nullptr;
}

void ProgressWindow::transfer(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_PROGRESS_FILE, state_.fileText.c_str());
    SetDlgItemTextA(dialog, IDC_PROGRESS_COUNT, state_.countText.c_str());
    SetDlgItemTextA(dialog, IDC_PROGRESS_CARD, state_.cardText.c_str());
}

void ProgressWindow::signalCancel() {
    // Once set the event stays set; pressing again changes nothing.
    if (cancelEvent_ && SetEvent(cancelEvent_)) cancelSignalled_ = true;
}

INT_PTR CALLBACK ProgressWindow::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind into the dialog manager's frames (the locks may throw).
    return edge::Contained("the progress window", INT_PTR{FALSE},
                           [&] { return handle(dialog, message, wParam, lParam); }, &LogContained);
}

INT_PTR ProgressWindow::handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<ProgressWindow*>(lParam);
        std::lock_guard<std::mutex> guard(self->lock_);
        // Publishing the window and showing the state waiting so far happen together, so
        // no update can fall between them.
        self->window_ = dialog;
        self->transfer(dialog);
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(self->state_.total));
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, self->state_.position, 0);
        // The session may already be over: then the window closes as soon as it appears.
        if (self->closing_) PostMessageA(dialog, WM_PROGRESS_CLOSE, 0, 0);
        return TRUE;
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
    case WM_PROGRESS_REFRESH: {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->refreshPending_ = false;
        self->transfer(dialog);
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, self->state_.position, 0);
        return TRUE;
    }
    case WM_PROGRESS_CLOSE:
        EndDialog(dialog, 0);
        // Wakes the modal loop at once; some dialog managers otherwise notice the end
        // only with the next message, seconds later.
        PostMessageA(dialog, WM_NULL, 0, 0);
        return TRUE;
    case WM_COMMAND:
        // The Cancel button, Escape and the close box only ask the session to stop; the
        // window stays until the session closes it.
        if (LOWORD(wParam) == IDC_PROGRESS_CANCEL || LOWORD(wParam) == IDCANCEL) {
            self->signalCancel();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        self->signalCancel();
        return TRUE;
    case WM_DESTROY: {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->window_ = nullptr;
        self->refreshPending_ = false;
        return FALSE;
    }
    default:
        return FALSE;
    }
}
