// A text reply of the companion application as it arrives: records of the transfer
// database, each with 8 lead bytes that are dropped, joined into a file that is then read as
// entry lines. The first input byte chooses where the records are cut.
#include "fuzz/FuzzTarget.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "card/CardRules.h"
#include "fuzz/SampleCodePages.h"
#include "mainmemory/DatabaseImage.h"

namespace {

// One scratch file per fuzzing process.
const std::string& scratchPath() {
    static const std::string path = "/tmp/tw_fuzz_reply_" + std::to_string(getpid());
    return path;
}

std::string readBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TW_FUZZ_TARGET(text_reply) {
    if (size == 0) return 0;
    const size_t cut = 1 + data[0] % 64;  // records of 1..64 bytes, short ones included
    DatabaseImage image;
    std::string expected;
    for (size_t at = 1; at < size; at += cut) {
        const size_t len = std::min(cut, size - at);
        image.records.emplace_back(data + at, data + at + len);
        if (len > 8) expected.append(reinterpret_cast<const char*>(data + at + 8), len - 8);
    }
    image.recordCount = static_cast<uint16_t>(std::min<size_t>(image.records.size(), 0xFFFF));
    if (image.records.size() > 0xFFFF) return 0;

    FUZZ_REQUIRE(image.writeRecordsToFile(scratchPath(), true));
    const std::string text = readBack(scratchPath());
    FUZZ_REQUIRE(text == expected);
    std::remove(scratchPath().c_str());

    for (const std::string& line : card::splitLines(text)) {
        card::ListingLine parsed;
        if (!card::parseListingLine(line, parsed)) continue;
        FUZZ_REQUIRE(parsed.name.size() < 512);
        (void)card::isSafeRelativeName(names::asciiOnly(), parsed.name);
        (void)card::isSafeRelativeName(sampleTwoByteCodePage(), parsed.name);
    }
    return 0;
}
