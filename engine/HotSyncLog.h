// One line to the HotSync log.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Activity codes of the log call.
enum HotSyncActivity { LOG_PLAIN = -1, LOG_SUMMARY_ERRORS = 16, LOG_SUMMARY_OK = 20 };

// A plain line (activity -1, flag 0): every event and every failure of the conduit.
void HotSyncLog(const std::string& text);
// Any activity code; the summary line uses 16 or 20.
void HotSyncLogActivity(const std::string& text, int activity);
// How many lines this thread has logged so far that report a failure: those beginning,
// after leading blanks, with "Error" or "Could not". A HotSync that logged one has left
// something uncarried and never ends with the success summary, whichever layer wrote it.
uint32_t FailureLinesLogged();
// True for a line of that kind. Needs no operating system.
bool IsFailureLine(const std::string& text);
// The line for an exception contained at an export or thread of the conduit (see
// dllshared/DllEdge.h): "Error in " + entry + ": " + description, e.g. "Error in OpenConduit:
// std::bad_alloc". May throw (bad_alloc), as the other two may.
void LogContained(const char* entry, const char* description);

// A code as log lines print it: lower-case hexadecimal without prefix, of the value as 32
// unsigned bits ("ffffffff" for -1). Needs no operating system.
inline std::string hex(uint32_t value) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(value));
    return digits;
}
inline std::string hex(int32_t value) { return hex(static_cast<uint32_t>(value)); }
