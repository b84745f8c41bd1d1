// Starting a program the way the installation-time libraries do, and waiting for it.
// Shared by the launcher and the removal hook; each compiles it into its own DLL.
#pragma once

#include <cstdint>
#include <string>

namespace kickoff {

// Starts commandLine (program and arguments, no separate application name) at normal
// priority with the caller's environment and folder and no inherited handles, then waits
// up to waitMs for it; waitMs 0 means no wait. Answers a WaitOutcome: kEnded (also when no
// wait was asked for), kStillRunning (left running) or kFailed (not started, or the wait
// failed). The process and thread handles are always closed.
int startAndWait(const std::string& commandLine, std::uint64_t waitMs);

}  // namespace kickoff
