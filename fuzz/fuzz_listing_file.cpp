// The listing of all cards that the companion application leaves in the transfer database,
// and the card listing file of the VFS route. The first input line is the card to look for.
#include "fuzz/FuzzTarget.h"

#include "card/CardRules.h"
#include "fuzz/SampleCodePages.h"

TW_FUZZ_TARGET(listing_file) {
    const std::string input = fuzzText(data, size);
    const size_t lf = input.find('\n');
    const std::string cardName = lf == std::string::npos ? input : input.substr(0, lf);
    const std::string text = lf == std::string::npos ? std::string() : input.substr(lf + 1);

    const std::vector<card::ListingSection> listing = card::parseCardListing(text);
    const card::ListingSection* section = card::findListingSection(listing, cardName);
    FUZZ_REQUIRE(section == nullptr || section->cardName == cardName);
    for (const card::ListingSection& s : listing) {
        FUZZ_REQUIRE(s.cardName.find('\n') == std::string::npos);
        // Only a card name that is a safe folder name may become a PC folder; the check must
        // not crash whatever the listing held.
        (void)card::isSafePathComponent(names::asciiOnly(), s.cardName);
        (void)card::isSafePathComponent(sampleTwoByteCodePage(), s.cardName);
        for (const std::string& line : s.lines) {
            FUZZ_REQUIRE(line.find('\n') == std::string::npos);
            FUZZ_REQUIRE(line.size() < 2 || line[0] != '<' || line.back() != '>');
            card::ListingLine parsed;
            if (card::parseListingLine(line, parsed)) FUZZ_REQUIRE(parsed.name.size() < 512);
        }
    }

    // The card listing file of the VFS route: names only, one per LF-ended line.
    const std::vector<std::string> lines = card::splitLines(text);
    size_t lfCount = 0;
    for (char c : text) lfCount += c == '\n';
    FUZZ_REQUIRE(lines.size() == lfCount);
    for (const std::string& line : lines) FUZZ_REQUIRE(line.find('\n') == std::string::npos);

    return 0;
}
