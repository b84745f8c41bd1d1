// How a wait of some seconds is carried out with a 32-bit millisecond time-out.
// OS-free: it builds natively and is driven by a fake wait in tests.
#pragma once

#include <cstdint>

namespace kickoff {

// Outcome of starting a program and waiting for it; the numbers are the launcher's
// results.
enum WaitOutcome : int {
    kEnded = 0,         // ended within the wait (or no wait was asked for)
    kStillRunning = 1,  // the wait ran out; the program is left running
    kFailed = 2,        // could not be started, or the wait itself failed
};

// A time-out of 0xFFFFFFFF means "wait forever" to the system, so one slice is at most
// one millisecond shorter.
constexpr std::uint32_t kLongestSlice = 0xFFFFFFFEu;

// The wait in milliseconds, computed wide: seconds times 1000 does not fit in 32 bits
// beyond about 49 days, and a wrapped product would turn a long wait into a short one.
constexpr std::uint64_t waitMilliseconds(std::uint32_t seconds) {
    return static_cast<std::uint64_t>(seconds) * 1000u;
}

// Waits totalMs in slices that each fit a 32-bit time-out, stopping early when the
// program ends or the wait fails. waitOnce(ms) answers the outcome of one slice:
// kEnded, kStillRunning (that slice timed out) or kFailed. A total of 0 is one poll.
template <class WaitOnce>
int waitInSlices(std::uint64_t totalMs, WaitOnce&& waitOnce) {
    do {
        const std::uint32_t slice =
            totalMs > kLongestSlice ? kLongestSlice : static_cast<std::uint32_t>(totalMs);
        const int outcome = waitOnce(slice);
        if (outcome != kStillRunning) return outcome == kEnded ? kEnded : kFailed;
        totalMs -= slice;
    } while (totalMs > 0);
    return kStillRunning;
}

}  // namespace kickoff
