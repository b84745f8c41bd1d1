#include "launcher/ProcessStart.h"

#include "launcher/WaitPlan.h"

#include <windows.h>

#include "engine/Win32Handles.h"

#include <vector>

namespace kickoff {

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "start-up record must be the 32-bit layout");
#endif

namespace {
// Waits up to ms for the process while serving messages sent to the caller's windows: a
// caller with a window that only waited would hold up every program that sends to all
// windows (a setup program broadcasting a setting change), and with it the program waited
// for. Posted messages stay in the queue for the caller.
int waitServingSentMessages(HANDLE process, std::uint32_t ms) {
    const DWORD start = GetTickCount();  // differences of ticks are right across a wrap
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed < ms ? ms - elapsed : 0;
        switch (MsgWaitForMultipleObjects(1, &process, FALSE, left, QS_SENDMESSAGE)) {
            case WAIT_OBJECT_0: return kEnded;
            case WAIT_OBJECT_0 + 1: {
                MSG message;
                // Peeking hands the sent messages to their windows.
                PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                if (left == 0) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0 ? kEnded : kStillRunning;
                break;
            }
            case WAIT_TIMEOUT: return kStillRunning;
            default: return kFailed;
        }
    }
}
}  // namespace

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

    return waitInSlices(waitMs, [&](std::uint32_t slice) { return waitServingSentMessages(process.get(), slice); });
}

}  // namespace kickoff
