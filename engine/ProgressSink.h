// What the locations and the synchronisation algorithm see of the progress window.
// This base does nothing and is never cancelled, so code can run without a window.
#pragma once
#include <cstdint>
#include <string>

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetCardText(const std::string& /*text*/) {}
    virtual void SetRange(uint32_t /*count*/) {}
    virtual void SetFileText(const std::string& /*text*/) {}
    virtual void SetFileProgress(int32_t /*index*/, const std::string& /*name*/, uint32_t /*size*/) {}
    virtual bool IsCancelled() { return false; }
};
