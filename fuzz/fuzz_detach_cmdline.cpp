// The removal program's command line, as the removal hook receives it. The hook starts a
// program from what it finds there, so the answer must always be that one program, quoted,
// in a folder taken from the line, and nothing may be read outside the text.
#include "fuzz/FuzzTarget.h"

#include <string_view>

#include "removalhook/CommandLine.h"

TW_FUZZ_TARGET(detach_cmdline) {
    // The exact bytes, in a buffer of their own, so that reading past the end is seen.
    const std::string line = fuzzText(data, size);
    const std::optional<std::string> command = detach::quillmarkCommandLine(std::string_view(line));
    if (!command) return 0;
    const std::string tail = std::string(detach::kProgramName) + "\" /us";
    FUZZ_REQUIRE(command->size() >= tail.size() + 2);
    FUZZ_REQUIRE(command->front() == '"');
    FUZZ_REQUIRE(command->compare(command->size() - tail.size(), tail.size(), tail) == 0);
    // The folder part is text of the command line, up to and including a backslash.
    const std::string folder = command->substr(1, command->size() - tail.size() - 1);
    FUZZ_REQUIRE(!folder.empty() && folder.back() == '\\');
    FUZZ_REQUIRE(line.find(folder) != std::string::npos);
    // A quote inside the folder would end the program name early and start another program.
    FUZZ_REQUIRE(folder.find('"') == std::string::npos);
    return 0;
}
