#include "removalhook/CommandLine.h"

namespace detach {
namespace {

// The first occurrence of the lower-case option; only when it is absent, the upper-case one.
std::string_view::size_type findOption(std::string_view s, char lower, char upper) {
    const char lowerOption[] = {'-', lower};
    const char upperOption[] = {'-', upper};
    const auto at = s.find(std::string_view(lowerOption, 2));
    return at != std::string_view::npos ? at : s.find(std::string_view(upperOption, 2));
}

}  // namespace

std::optional<std::string> quillmarkCommandLine(std::string_view s) {
    const auto p = findOption(s, 'f', 'F');
    const auto q = findOption(s, 'c', 'C');
    if (p == std::string_view::npos || q == std::string_view::npos || p >= q) return std::nullopt;

    // The value runs from after "-f" to one character before "-c". When the options touch
    // ("-f-c") that span is negative; there is then no value, and nothing may be read
    // outside the command line.
    const auto valueStart = p + 2;
    if (q < valueStart + 1) return std::nullopt;
    std::string_view value = s.substr(valueStart, q - valueStart - 1);
    // "-f C:\App\setup.dat" names the same file as "-fC:\App\setup.dat"; kept, the blank
    // would end up inside the quotes and name a program that does not exist.
    const auto first = value.find_first_not_of(" \t");
    value.remove_prefix(first == std::string_view::npos ? value.size() : first);

    const auto k = value.rfind('\\');
    if (k == std::string_view::npos) return std::nullopt;
    // No file name holds a quote: one inside the folder part would close the program name
    // early and start whatever the text before it names instead of the desktop program.
    if (value.substr(1, k).find('"') != std::string_view::npos) return std::nullopt;

    std::string command;
    command.reserve(value.size() + kProgramName.size() + 6);
    if (value.front() != '"') command += '"';
    command.append(value.substr(0, k + 1));
    command.append(kProgramName);
    command += "\" /us";
    return command;
}

}  // namespace detach
