// Reading the removal program's command line: which program the removal hook starts.
// OS-free (no <windows.h>) so that it builds natively and can be fuzzed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace detach {

// The name of the desktop program started beside the file named after "-f".
inline constexpr std::string_view kProgramName = "Quillmark.exe";

// From the removal program's whole command line, the command line that starts
// "Quillmark.exe" with "/us" in the folder of the file given after "-f" (or "-F") and
// before "-c" (or "-C"), quoted. The options are found by plain text search, not only at
// word starts. The value ends one character before "-c" (the separating blank), keeps
// its quotes and loses blanks between "-f" and the path. Answers nothing when an option
// is missing, "-c" does not come after "-f" with at least a character between, or the
// value holds no "\".
std::optional<std::string> quillmarkCommandLine(std::string_view processCommandLine);

}  // namespace detach
