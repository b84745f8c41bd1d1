#include "engine/HotSyncLog.h"
#include "HotSyncApi.h"

void HotSyncLog(const std::string& text) { HotSyncLogActivity(text, LOG_PLAIN); }

void HotSyncLogActivity(const std::string& text, int activity) {
    HsLogAddLine(text.c_str(), activity, 0);
}

void LogContained(const char* entry, const char* description) {
    HotSyncLog(std::string("Error in ") + entry + ": " + description);
}
