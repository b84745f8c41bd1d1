// A location's state file, as the user, a crash or a full disk may have left it. Whatever it
// holds, reading it is safe, and what it is read as survives being written and read again:
// the next HotSync must see exactly the times this one recorded.
#include "fuzz/FuzzTarget.h"

#include <tuple>
#include <vector>

#include "engine/StateFile.h"

namespace {
using Line = std::tuple<std::string, uint32_t, uint32_t>;

std::vector<Line> parseAll(const std::string& text) {
    std::vector<Line> lines;
    parseStateText(text, [&](const std::string& name, uint32_t h, uint32_t p) { lines.emplace_back(name, h, p); });
    return lines;
}
}  // namespace

TW_FUZZ_TARGET(state_file) {
    const std::string text = fuzzText(data, size);
    const std::vector<Line> lines = parseAll(text);
    size_t lfCount = 0;
    for (char c : text) lfCount += c == '\n';
    FUZZ_REQUIRE(lines.size() <= lfCount);

    std::string written;
    for (const Line& line : lines) {
        FUZZ_REQUIRE(!std::get<0>(line).empty());
        FUZZ_REQUIRE(std::get<0>(line).find('\n') == std::string::npos);
        appendStateLine(written, std::get<1>(line), std::get<2>(line), std::get<0>(line));
    }
    FUZZ_REQUIRE(parseAll(written) == lines);

    // Numbers: any text reads as some 32-bit value, and a written value reads back as itself.
    const uint32_t n = parseStateNumber(text);
    FUZZ_REQUIRE(parseStateNumber(std::to_string(n)) == n);
    return 0;
}
