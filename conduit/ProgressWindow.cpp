#include "conduit/ProgressWindow.h"
#include <commctrl.h>
#include "conduit/CommonControls.h"
#include "dllshared/DllEdge.h"
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

void ProgressWindow::setCancelEvent(HANDLE event) {
    HANDLE own = nullptr;
    if (event && !DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &own, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS))
        own = nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    cancelEvent_ = event;
    ownCancelEvent_.reset(own);
}

void ProgressWindow::setBarRange(uint32_t total) {
    HWND dialog = window();
    HWND bar = dialog ? GetDlgItem(dialog, IDC_PROGRESS_BAR) : nullptr;
    if (!bar) return;
    // Sent without the lock: the window thread takes the lock in its own handlers.
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total), SMTO_NORMAL, kBarRangeWaitMs,
                             &ignored)) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            rangePending_ = true;
        }
        requestRefresh();
    }
}

void ProgressWindow::keepFailure(const char* entry, const char* description) noexcept {
    try {
        std::lock_guard<std::mutex> guard(lock_);
        keptFailures_.emplace_back(entry, description);
    } catch (...) {
        // Without memory or lock the line is lost; the window thread must still end.
    }
}

void ProgressWindow::logKeptFailures() {
    std::vector<std::pair<std::string, std::string>> failures;
    {
        std::lock_guard<std::mutex> guard(lock_);
        failures.swap(keptFailures_);
    }
    for (const auto& failure : failures) LogContained(failure.first.c_str(), failure.second.c_str());
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
    std::lock_guard<std::mutex> guard(lock_);
    if (ownCancelEvent_ && SetEvent(ownCancelEvent_.get())) cancelSignalled_ = true;
}

INT_PTR CALLBACK ProgressWindow::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind into the dialog manager's frames (the locks may throw). The
    // window thread writes no log line itself: the worker logs what it kept.
    return edge::Contained("the progress window", INT_PTR{FALSE},
                           [&] { return handle(dialog, message, wParam, lParam); },
                           [&](const char* entry, const char* description) {
                               auto* self = message == WM_INITDIALOG
                                                ? reinterpret_cast<ProgressWindow*>(lParam)
                                                : reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
                               if (self) self->keepFailure(entry, description);
                           });
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
        if (self->rangePending_)
            SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(self->state_.total));
        self->rangePending_ = false;
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
