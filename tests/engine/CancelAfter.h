// A progress sink that presses Cancel at a chosen entry, for the engine and model suites.
#pragma once
#include <cstdint>
#include <string>

#include "engine/ProgressSink.h"

// Cancels once the pass has reported progress for `after` entries.
class CancelAfter : public ProgressSink {
public:
    explicit CancelAfter(int after) : after_(after) {}
    void SetFileProgress(int32_t, const std::string&, uint32_t) override { ++seen_; }
    bool IsCancelled() override { return seen_ >= after_; }

private:
    int after_;
    int seen_ = 0;
};
