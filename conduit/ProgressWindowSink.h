// The session's progress sink: forwards to the progress window and reads the cancel
// event. Both are borrowed from the sync job.
#pragma once
#include <string>
#include <windows.h>
#include "engine/ProgressSink.h"

class ProgressWindow;

class ProgressWindowSink : public ProgressSink {
public:
    ProgressWindowSink(ProgressWindow* window, HANDLE cancelEvent) : window_(window), cancelEvent_(cancelEvent) {}
    void SetCardText(const std::string& text) override;
    void SetRange(uint32_t count) override;
    void SetFileText(const std::string& text) override;
    void SetFileProgress(int32_t index, const std::string& name, uint32_t size) override;
    bool IsCancelled() override;

private:
    ProgressWindow* window_;
    HANDLE cancelEvent_;
    bool cancelled_ = false;  // the event never resets, so a yes is kept
    uint32_t polls_ = 0;
};

// The file line for a name and a size: the bare name for 0 bytes, otherwise the name
// with whole kilobytes, at least 1KB.
std::string ProgressFileText(const std::string& name, uint32_t size);
