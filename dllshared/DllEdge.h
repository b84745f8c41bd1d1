// Keeps C++ exceptions inside our libraries. Whatever calls an export, a thread procedure or
// a window procedure of ours (HotSync, an installer, the system) knows nothing of C++: an
// exception unwinding into its frames ends the process, or worse, leaves it running on a
// half-unwound stack. Every such entry runs its body through Contained().
// Header only and OS-free, so that the installation-time libraries use it too without
// linking anything of the conduit.
#pragma once
#include <exception>
#include <utility>

namespace edge {

// What a caught exception was, for one log line: its what() text, or "unknown exception"
// for anything not derived from std::exception. Call only inside a catch block.
inline const char* CaughtDescription() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

// Runs body() and answers what it answers. When it throws, report(entry, description) is
// called (a report that throws in turn is ignored) and failure is answered instead. Never
// throws. `entry` names the export or thread for the report.
template <typename Result, typename Body, typename Report>
Result Contained(const char* entry, Result failure, Body&& body, Report&& report) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        try {
            report(entry, CaughtDescription());
        } catch (...) {
        }
        return failure;
    }
}

// The same where no log exists: the exception is dropped and failure answered.
template <typename Result, typename Body>
Result Contained(const char* entry, Result failure, Body&& body) noexcept {
    return Contained(entry, failure, std::forward<Body>(body), [](const char*, const char*) {});
}

}  // namespace edge
