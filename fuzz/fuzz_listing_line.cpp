// One entry line from the card ("name<TAB>time attributes size"), and what a name from the
// card becomes on the PC. A name the rules accept must land inside the location's folder and
// come back as the same name; anything else could write outside the folders we own.
#include "fuzz/FuzzTarget.h"

#include "card/CardRules.h"
#include "fuzz/SampleCodePages.h"

namespace {

const std::string kFolder = "C:\\Sync\\Card";

bool hasParentStep(const std::string& path) {
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

void checkName(const names::CodePage& cp, const std::string& name) {
    const std::string printable = card::printableName(name);
    FUZZ_REQUIRE(printable.size() == name.size());
    for (char c : printable) FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);

    if (!card::isSafeRelativeName(cp, name)) return;
    const std::string path = card::cardPcPath(kFolder, name);
    FUZZ_REQUIRE(path.compare(0, kFolder.size() + 1, kFolder + "\\") == 0);
    FUZZ_REQUIRE(path.find(':', 2) == std::string::npos);
    FUZZ_REQUIRE(!hasParentStep(path));
    for (size_t at = names::findSeparator(cp, path, "\\"); at != std::string::npos;
         at = names::findSeparator(cp, path, "\\", at + 1))
        FUZZ_REQUIRE(at + 1 < path.size() && names::findSeparator(cp, path, "\\", at + 1) != at + 1);
    // The way back gives the name (a directory loses its "/").
    const std::string back = card::cardRelativeName(cp, kFolder, card::cardPcPath(kFolder, name));
    FUZZ_REQUIRE(back == card::withoutTrailingSlash(name));

    // The conflict copy of a safe file name is a safe name in the same folder, and the PC
    // copy's path is the same whether the suffix goes into the name or into its PC path.
    if (name.back() != '/') {
        const std::string copy = names::withSuffixBeforeExtension(cp, name, "_2");
        FUZZ_REQUIRE(card::isSafeRelativeName(cp, copy));
        FUZZ_REQUIRE(copy != name);
        FUZZ_REQUIRE(card::folderPartOf(copy) == card::folderPartOf(name));
        const std::string pcCopy = names::withSuffixBeforeExtension(cp, card::cardPcPath(kFolder, name), "_2");
        FUZZ_REQUIRE(pcCopy == card::cardPcPath(kFolder, copy));
    }
}

}  // namespace

TW_FUZZ_TARGET(listing_line) {
    const std::string line = fuzzText(data, size);
    card::ListingLine parsed;
    parsed.name = "untouched";
    if (card::parseListingLine(line, parsed)) {
        FUZZ_REQUIRE(parsed.name.size() < 512);
        FUZZ_REQUIRE(parsed.name.find('\t') == std::string::npos);
        FUZZ_REQUIRE(line.compare(0, parsed.name.size(), parsed.name) == 0);
        checkName(names::asciiOnly(), parsed.name);
        checkName(sampleTwoByteCodePage(), parsed.name);
    } else {
        // A refused line leaves the caller's record alone.
        FUZZ_REQUIRE(parsed.name == "untouched");
    }
    checkName(names::asciiOnly(), line);
    checkName(sampleTwoByteCodePage(), line);
    return 0;
}
