// The small "Tarnwick" window that shows what the session is doing and offers Cancel.
// The object is shared by the sync job and the window thread (which may outlive the job when
// the worker stopped waiting for it); the window itself lives on the window thread, which
// runs it as a modal dialog. The worker only changes the shown state here and posts
// messages; the state is handed over under a lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>
#include "engine/Win32Handles.h"

struct ProgressState {
    std::string fileText;
    std::string countText;
    std::string cardText;
    uint32_t total = 0;     // range of the bar
    uint32_t position = 0;  // position of the bar
};

class ProgressWindow {
public:
    ProgressWindow() = default;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // The window signals a handle of its own to the event, so that a window that outlives
    // the job never signals a handle the job has closed (and the system may have reused).
    // cancelEvent() answers the handle given, for comparison.
    void setCancelEvent(HANDLE event);
    HANDLE cancelEvent() const { return cancelEvent_; }
    // True once this window has signalled the cancel event: a test that needs no call into
    // the system, so the sink can look once per entry for nothing.
    bool cancelSignalled() const { return cancelSignalled_.load(); }

    // Window thread: creates the window and runs it until message 1226 (or at once when
    // close() came before the window). Answers false when no window could be made, e.g.
    // without a display.
    bool runModal();

    // Worker thread: changes the state under the lock, then asks the window to show it.
    // Before the window exists the state waits here and is shown when it is created.
    template <typename Change>
    void update(Change change) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            change(state_);
        }
        requestRefresh();
    }
    // Sets the bar's range at once (a synchronous message to the bar) when the window exists;
    // a window thread that does not answer within kBarRangeWaitMs gets the range with its
    // next refresh instead of stalling the worker.
    void setBarRange(uint32_t total);
    static constexpr uint32_t kBarRangeWaitMs = 2000;

    // Window thread: keeps a contained failure for the worker to log (only the HotSync
    // thread and the worker write to the HotSync log). Never throws.
    void keepFailure(const char* entry, const char* description) noexcept;
    // Worker: writes the kept failures to the log and forgets them.
    void logKeptFailures();

    // Asks the window to close: posts 1226 when it exists, and makes a window that is
    // still being created close at once. Answers whether a window existed.
    bool close();

    HWND window() const;
    ProgressState state() const;

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // dialogProc's body; may throw.
    static INT_PTR handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void transfer(HWND dialog);  // with the lock held
    void requestRefresh();
    void signalCancel();

    mutable std::mutex lock_;
    HWND window_ = nullptr;  // set and cleared by the window thread under the lock
    bool closing_ = false;
    bool refreshPending_ = false;
    bool rangePending_ = false;  // a range send timed out; the next refresh sets it
    ProgressState state_;
    std::vector<std::pair<std::string, std::string>> keptFailures_;
    HANDLE cancelEvent_ = nullptr;
    OwnedHandle ownCancelEvent_;
    std::atomic<bool> cancelSignalled_{false};
};
