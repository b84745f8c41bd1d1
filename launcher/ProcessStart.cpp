#include "launcher/ProcessStart.h"

#include "launcher/WaitPlan.h"

#include <windows.h>

#include "engine/Win32Handles.h"

#include <vector>

namespace kickoff {

static_assert(sizeof(STARTUPINFOA) == 68, "start-up record must be the 32-bit layout");

int startAndWait(const std::string& commandLine, std::uint64_t waitMs) {
    // Process creation may write into the command line it is given, so it gets a private
    // copy rather than the caller's text, which may be read-only.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
        return kFailed;
    }
    const OwnedHandle process(info.hProcess);
    const OwnedHandle thread(info.hThread);
    if (waitMs == 0) return kEnded;

    return waitInSlices(waitMs, [&](std::uint32_t slice) {
        switch (WaitForSingleObject(process.get(), slice)) {
            case WAIT_OBJECT_0: return static_cast<int>(kEnded);
            case WAIT_TIMEOUT: return static_cast<int>(kStillRunning);
            default: return static_cast<int>(kFailed);
        }
    });
}

}  // namespace kickoff
