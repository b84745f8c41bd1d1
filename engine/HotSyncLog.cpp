#include "engine/HotSyncLog.h"
#include "HotSyncApi.h"

namespace {
// Per thread: each HotSync's lines come from its worker thread, and the count must not
// mix in another thread's.
thread_local uint32_t failureLines = 0;
}  // namespace

bool IsFailureLine(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    return text.compare(start, 5, "Error") == 0 || text.compare(start, 9, "Could not") == 0;
}

uint32_t FailureLinesLogged() { return failureLines; }

void HotSyncLog(const std::string& text) { HotSyncLogActivity(text, LOG_PLAIN); }

void HotSyncLogActivity(const std::string& text, int activity) {
    if (activity == LOG_PLAIN && IsFailureLine(text)) ++failureLines;
    HsLogAddLine(text.c_str(), activity, 0);
}

void LogContained(const char* entry, const char* description) {
    HotSyncLog(std::string("Error in ") + entry + ": " + description);
}
