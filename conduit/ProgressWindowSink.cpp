#include "conduit/ProgressWindowSink.h"
#include <cstdio>
#include "conduit/ProgressWindow.h"

std::string ProgressFileText(const std::string& name, uint32_t size) {
    if (size == 0) return name;
    double kilobytes = size / 1024.0;
    if (kilobytes < 1.0) kilobytes = 1.0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, " (%.0fKB)", kilobytes);
    return name + buffer;
}

void ProgressWindowSink::SetCardText(const std::string& text) {
    window_->update([&](ProgressState& s) {
        s.cardText = text;
        s.fileText.clear();
        s.countText.clear();
        s.position = 0;
    });
}

void ProgressWindowSink::SetRange(uint32_t count) {
    window_->update([&](ProgressState& s) {
        s.total = count;
        s.position = 0;
    });
    window_->setBarRange(count);
}

void ProgressWindowSink::SetFileText(const std::string& text) {
    window_->update([&](ProgressState& s) {
        s.fileText = text;
        s.countText.clear();
    });
}

void ProgressWindowSink::SetFileProgress(int32_t index, const std::string& name, uint32_t size) {
    std::string fileText = ProgressFileText(name, size);
    window_->update([&](ProgressState& s) {
        if (index == -1) {
            s.countText.clear();
            s.position = s.total;
        } else {
            char count[32];
            std::snprintf(count, sizeof count, "%u/%u", static_cast<unsigned>(index), static_cast<unsigned>(s.total));
            s.countText = count;
            s.position = static_cast<uint32_t>(index);
        }
        s.fileText = fileText;
    });
}

bool ProgressWindowSink::IsCancelled() {
    if (!cancelEvent_) return false;
    if (cancelled_) return true;
    // Asked once per entry, so it must cost next to nothing: a press of Cancel shows in the
    // window's own flag at once. A wait on the event is a call into the system (under wine
    // a round trip to the server, which made up most of a HotSync with nothing to do); it
    // is made for the first question and then every kEventPollInterval-th, so that an event
    // set by anyone but the window is still seen within a few entries.
    constexpr uint32_t kEventPollInterval = 64;
    if (window_ && window_->cancelEvent() == cancelEvent_ && window_->cancelSignalled()) {
        cancelled_ = true;
    } else if (polls_++ % kEventPollInterval == 0) {
        cancelled_ = WaitForSingleObject(cancelEvent_, 0) == WAIT_OBJECT_0;
    }
    return cancelled_;
}
