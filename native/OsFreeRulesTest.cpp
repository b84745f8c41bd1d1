// Hostile inputs to the OS-free code that the sanitizers must see handled: each of these
// once read out of bounds, overflowed or looped in code of this kind.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "card/CardRules.h"
#include "fuzz/SampleCodePages.h"
#include "names/CodePage.h"
#include "engine/StateFile.h"
#include "mainmemory/DatabaseImage.h"
#include "removalhook/CommandLine.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 24);
    b[at + 1] = static_cast<uint8_t>(v >> 16);
    b[at + 2] = static_cast<uint8_t>(v >> 8);
    b[at + 3] = static_cast<uint8_t>(v);
}

// A record database of two records, "abc" and "defg", with no blocks.
std::vector<uint8_t> twoRecordFile() {
    std::vector<uint8_t> b(80 + 16 + 7, 0);
    std::memcpy(b.data(), "Test", 4);
    b[77] = 2;
    put32(b, 78, 96);
    put32(b, 86, 99);
    std::memcpy(b.data() + 96, "abcdefg", 7);
    return b;
}

}  // namespace

TEST(DatabaseFileHostile, OffsetsOutOfOrderOrPastTheEndAreRefused) {
    DatabaseImage ok;
    std::vector<uint8_t> good = twoRecordFile();
    ASSERT_TRUE(ok.parseFileBytes(good.data(), good.size()));
    ASSERT_EQ(2u, ok.records.size());
    EXPECT_EQ(3u, ok.records[0].size());
    EXPECT_EQ(4u, ok.records[1].size());

    struct Case { const char* what; size_t at; uint32_t value; };
    const Case cases[] = {
        {"second offset before the first", 86, 90},
        {"offset past the end", 86, 0x7FFFFFFF},
        {"first offset inside the header", 78, 10},
        {"application block after the first record", 52, 100},
        {"sort block inside the list", 56, 79},
        {"application block past the end", 52, 0xFFFFFFF0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = twoRecordFile();
        put32(b, c.at, c.value);
        DatabaseImage image;
        EXPECT_FALSE(image.parseFileBytes(b.data(), b.size())) << c.what;
        EXPECT_EQ(DBIMAGE_DATA_TRUNCATED, image.failureCode) << c.what;
        EXPECT_TRUE(image.records.empty()) << c.what;
    }
}

TEST(DatabaseFileHostile, HugeRecordCountInASmallFileIsATruncatedList) {
    std::vector<uint8_t> b(100, 0);
    b[76] = 0xFF;
    b[77] = 0xFF;
    DatabaseImage image;
    EXPECT_FALSE(image.parseFileBytes(b.data(), b.size()));
    EXPECT_EQ(DBIMAGE_LIST_TRUNCATED, image.failureCode);
    b[33] = 1;  // a resource database: its short list counts as missing data
    EXPECT_FALSE(image.parseFileBytes(b.data(), b.size()));
    EXPECT_EQ(DBIMAGE_DATA_TRUNCATED, image.failureCode);
}

TEST(ListingHostile, OverlongNamesAndNumbersAreIgnoredNotTruncated) {
    card::ListingLine line;
    EXPECT_FALSE(card::parseListingLine(std::string(512, 'a') + "\t1 0 5", line));
    EXPECT_TRUE(card::parseListingLine(std::string(511, 'a') + "\t1 0 5", line));
    // A number beyond 32 bits would otherwise wrap to a small, plausible size.
    EXPECT_FALSE(card::parseListingLine("/a.txt\t1 0 4294967296", line));
    EXPECT_FALSE(card::parseListingLine("/a.txt\t1 0", line));

    const std::string text = "<Card>\n" + std::string(1024, 'x') + "\n/b\t1 0 1\n";
    const auto listing = card::parseCardListing(text);
    ASSERT_EQ(1u, listing.size());
    EXPECT_EQ(2u, listing[0].lines.size());
}

TEST(NamesHostile, NamesThatWouldLeaveTheFolderAreNotSafe) {
    for (const names::CodePage* cp : {&names::asciiOnly(), &sampleTwoByteCodePage()}) {
        for (const char* bad : {"/../x", "/a/../../x", "/./x", "/a//b", "/C:x", "/a\\..\\b", "/a./b", "/a /b", "x",
                                "/", "/a\x01", "/\x95/../x", "/\x95:x"}) {
            EXPECT_FALSE(card::isSafeRelativeName(*cp, bad)) << bad;
        }
        for (const char* good : {"/a", "/DCIM/", "/DCIM/100/x.jpg", "/.hidden", "/CONSOLE.txt", "/a b/c", "/CON",
                                 "/aux.txt", "/Con/nul"}) {
            EXPECT_TRUE(card::isSafeRelativeName(*cp, good)) << good;
        }
    }
}

// Names in a code page of two-byte characters, where a trail byte may look like "A", "a"
// or "\": each row is two names, whether they are one name in either case, and whether the
// first begins the second (on character boundaries).
TEST(NamesTwoByte, TrailBytesAreNeitherLettersNorSeparators) {
    const names::CodePage& sjis = sampleTwoByteCodePage();
    const struct { const char *a, *b; bool same, begins; } rows[] = {
        {"/\x83\x41.txt", "/\x83\x61.txt", false, false},  // ア and ヂ: the trail bytes are "A" and "a"
        {"/\x83\x41.TXT", "/\x83\x41.txt", true, true},    // the one-byte letters still fold
        {"/\x82\x60", "/\x82\x81", true, true},            // full-width Ａ and ａ
        {"/\x95\x5C/", "/\x95\x5C/a", false, true},        // 表/ holds 表/a
        {"/\x83", "/\x83\x41", false, false},               // a lone lead byte begins no character
        {"/a", "/A/b", false, true}};
    for (const auto& r : rows) {
        const int ab = names::compareIgnoringCase(sjis, r.a, r.b), ba = names::compareIgnoringCase(sjis, r.b, r.a);
        EXPECT_EQ(r.same, names::sameIgnoringCase(sjis, r.a, r.b) && ab == 0 && ba == 0) << r.a << " " << r.b;
        EXPECT_EQ(r.begins, names::startsWithIgnoringCase(sjis, r.b, r.a)) << r.a << " " << r.b;
        EXPECT_EQ(ab < 0, ba > 0);                     // a strict weak order
        EXPECT_TRUE(!r.begins || r.same || ab < 0);  // a folder sorts before its contents
    }
    // Splitting and joining by character: 表 (95 5C) and ソ (83 5C) end in the byte of "\".
    EXPECT_EQ("C:\\S\\\x95\x5C", names::withoutTrailingBackslashes(sjis, "C:\\S\\\x95\x5C"));
    EXPECT_EQ("C:\\S", names::withoutTrailingBackslashes(sjis, "C:\\S\\\\"));
    EXPECT_EQ("/\x95\x5C/\x83\x5C.txt", card::cardRelativeName(sjis, "C:\\S", "C:\\S\\\x95\x5C\\\x83\x5C.txt"));
    EXPECT_EQ("/\x83\x5C_2.txt", names::withSuffixBeforeExtension(sjis, "/\x83\x5C.txt", "_2"));
    EXPECT_EQ("C:\\x_2.\x95\x5C", names::withSuffixBeforeExtension(sjis, "C:\\x.\x95\x5C", "_2"));
    EXPECT_EQ("/\x83\x61.TXT", names::upperAscii(sjis, "/\x83\x61.txt"));
    EXPECT_TRUE(card::isSafeRelativeName(sjis, "/\x95\x5C.txt"));
    EXPECT_FALSE(card::isSafeRelativeName(names::asciiOnly(), "/\x95\x5C.txt"));
    EXPECT_EQ("\x83\x7C_", card::folderNameForLabel(sjis, "\x83\x7C|"));  // ポ ends in the byte of "|"
}

// The names Windows opens devices for, which only the "\\?\" form reaches, and that form.
TEST(NamesReserved, DeviceNamesAndTheLongForm) {
    for (const char* name : {"CON", "con.txt", "Nul", "AUX.tar.gz", "prn ", "COM1", "lpt9.log", "CONIN$", "COM\xb9", "nul .x"})
        EXPECT_TRUE(names::isReservedDeviceName(std::string(name))) << name;
    for (const char* name : {"CONSOLE.txt", "COM10", "LPT", "nul1.txt", "xcon", "COM", ""})
        EXPECT_FALSE(names::isReservedDeviceName(std::string(name))) << name;
    EXPECT_TRUE(names::hasReservedComponent(L"C:/S/Con\\a.txt") && !names::hasReservedComponent(L"C:\\Console\\a"));
    const std::pair<std::wstring, std::wstring> forms[] = {
        {L"C:/S//./x/../aux.txt", L"\\\\?\\C:\\S\\aux.txt"}, {L"C:\\", L"\\\\?\\C:\\"}, {L"C:\\S\\", L"\\\\?\\C:\\S\\"},
        {L"\\\\srv\\share\\nul", L"\\\\?\\UNC\\srv\\share\\nul"}, {L"\\\\?\\C:\\x\\..", L"\\\\?\\C:\\x\\.."}, {L"rel\\con", L"rel\\con"}};
    for (const auto& f : forms) EXPECT_EQ(f.second, names::longPathForm(f.first));
}

TEST(StateFileHostile, NumbersWrapInsteadOfOverflowing) {
    EXPECT_EQ(4294967295u, parseStateNumber("-1"));
    EXPECT_EQ(3000000000u, parseStateNumber("3000000000"));
    EXPECT_EQ(parseStateNumber("99999999999999999999999"), parseStateNumber("99999999999999999999999"));
    EXPECT_EQ(0u, parseStateNumber("x12"));
}

TEST(DetachHostile, OptionsThatTouchOrComeInTheWrongOrderGiveNothing) {
    EXPECT_FALSE(detach::quillmarkCommandLine("-f-c"));
    EXPECT_FALSE(detach::quillmarkCommandLine("-c x -f C:\\a\\b"));
    EXPECT_FALSE(detach::quillmarkCommandLine("-f"));
    EXPECT_FALSE(detach::quillmarkCommandLine(""));
    EXPECT_EQ("\"C:\\App\\Quillmark.exe\" /us", detach::quillmarkCommandLine("x -f C:\\App\\setup.dat -c y").value());
}

TEST(DetachHostile, AQuoteInsideTheFolderStartsNothing) {
    // Taken literally these would start setup.dat, or a program named by the text before
    // the inner quote, rather than the desktop program.
    EXPECT_FALSE(detach::quillmarkCommandLine("-f \"C:\\App\\setup.dat\" C:\\Other\\x -c"));
    EXPECT_FALSE(detach::quillmarkCommandLine("-fC:\\A\"pp\\setup.dat -cX"));
    EXPECT_EQ("\"C:\\App\\Quillmark.exe\" /us", detach::quillmarkCommandLine("-f\"C:\\App\\setup.dat\" -c").value());
}
