#include <gtest/gtest.h>
#include "card/CardRules.h"

using namespace card;

TEST(CardNames, PlainNamesAreAccepted) {
    for (const char* name : {"/a.txt", "/DCIM/", "/DCIM/100/pic 1.jpg", "/x/y/z/", "/.hidden", "/a..b",
                             "/CONSOLE.txt", "/COM10", "/LPT", "/nul1.txt", "/Caf\xe9.doc", "/ leading"})
        EXPECT_TRUE(isSafeRelativeName(name)) << name;
}

TEST(CardNames, NamesThatLeaveTheFolderAreRefused) {
    const char* refused[] = {
        "",  "/", "a.txt", "//", "/a//b",                     // not a card name, empty segments
        "/..", "/../x", "/a/../../x", "/./x", "/a/./", "/../", // dot segments
        "/a\\..\\..\\x", "/\\x", "/C:\\x", "/C:", "/a:b", "/x/C:/y", // separators, drives, streams
        "/a*", "/a?", "/a\"b", "/<a>", "/a|b", "/a\tb", "/a\nb", "/a\x01",
        "/a.", "/a ", "/dir./x", "/...", "/dir /x",            // Windows would drop the tail
        "/CON", "/con.txt", "/Nul", "/AUX.tar.gz", "/prn ", "/COM1", "/lpt9.log", "/x/CONIN$",
        "/COM\xb9", "/d/NUL/"};
    for (const char* name : refused) EXPECT_FALSE(isSafeRelativeName(name)) << printableName(name);
}

TEST(CardNames, CardNamesMustBeOneFolderName) {
    EXPECT_TRUE(isSafePathComponent("Card1"));
    EXPECT_TRUE(isSafePathComponent("My Card"));
    for (const char* name : {"", ".", "..", "..\\..\\Windows", "a/b", "C:", "C:\\x", "\\\\server\\share",
                             "NUL", "Card.", "a|b"})
        EXPECT_FALSE(isSafePathComponent(name)) << name;
    EXPECT_EQ("a?b", printableName(std::string("a\nb")));
}

TEST(ListingLines, EntryLinesAreParsed) {
    ListingLine l;
    ASSERT_TRUE(parseListingLine("/DCIM/\t3300000000 16 0", l));
    EXPECT_EQ("/DCIM/", l.name);
    EXPECT_EQ(3300000000u, l.time);
    EXPECT_EQ(16u, l.attributes);
    EXPECT_EQ(0u, l.size);
    EXPECT_TRUE(listingLineCounts(l));
    ASSERT_TRUE(parseListingLine("/a b.txt\t  1\t2   300000 trailing", l));
    EXPECT_EQ("/a b.txt", l.name);
    EXPECT_EQ(300000u, l.size);
    ASSERT_TRUE(parseListingLine("/empty.txt\t5 0 0", l));
    EXPECT_FALSE(listingLineCounts(l));  // an empty file is not entered
}

TEST(ListingLines, MalformedLinesAreIgnored) {
    ListingLine l;
    l.name = "kept";
    EXPECT_FALSE(parseListingLine("", l));
    EXPECT_FALSE(parseListingLine("/no tab 1 2 3", l));
    EXPECT_FALSE(parseListingLine("/a\t1 2", l));
    EXPECT_FALSE(parseListingLine("/a\t1 x 3", l));
    EXPECT_FALSE(parseListingLine("/a\t-1 0 3", l));
    EXPECT_FALSE(parseListingLine("/a\t99999999999 0 3", l));  // does not fit 32 bits
    EXPECT_FALSE(parseListingLine("/" + std::string(511, 'n') + "\t1 0 1", l));
    EXPECT_EQ("kept", l.name);
    EXPECT_TRUE(parseListingLine("/" + std::string(510, 'n') + "\t1 0 1", l));
}

TEST(ListingText, LinesEndWithLineFeedAndLoseTheirCarriageReturn) {
    auto lines = splitLines("/a\r\n/b\n\n/c");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("/a", lines[0]);
    EXPECT_EQ("/b", lines[1]);
    EXPECT_EQ("", lines[2]);  // "/c" has no LF and does not count
    EXPECT_TRUE(splitLines("").empty());
}

TEST(ListingText, SectionOfOneCard) {
    const std::string text =
        "<Card1>\n/one\t1 0 1\n"
        "<Card>\r\n/two\t2 0 2\r\n\n/three\t3 0 3\n"
        "<Other>\n/four\t4 0 4\n";
    bool found = false;
    auto section = listingSection(text, "Card", found);
    EXPECT_TRUE(found);
    ASSERT_EQ(3u, section.size());  // <Card1> is not <Card>; the empty line is read
    EXPECT_EQ("/two\t2 0 2", section[0]);
    EXPECT_EQ("/three\t3 0 3", section[2]);

    section = listingSection("<Card>\n/last\t1 0 1", "Card", found);
    ASSERT_EQ(1u, section.size());  // the last line counts here even without LF
    section = listingSection("<Card>\n<Next>\n/x\t1 0 1\n", "Card", found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(section.empty());
    section = listingSection("<Cards>\n/x\t1 0 1\n", "Missing", found);
    EXPECT_FALSE(found);
    section = listingSection("<Card>\n/a\t1 0 1\n" + std::string(1024, 'x') + "\n/b\t1 0 1\n", "Card", found);
    EXPECT_EQ(1u, section.size());  // an over-long line ends the reading
    section = listingSection("<>\n/a\t1 0 1\n", "", found);
    EXPECT_EQ(1u, section.size());
}

TEST(SliceSize, FollowsTheHandheldsFigure) {
    EXPECT_EQ(58368u, sliceSizeFromFigure(65536, 131072));
    EXPECT_EQ(1024u, sliceSizeFromFigure(1000, 131072));
    EXPECT_EQ(1024u, sliceSizeFromFigure(1, 131072));
    EXPECT_EQ(131072u, sliceSizeFromFigure(0, 131072));
    EXPECT_EQ(131072u, sliceSizeFromFigure(-5, 131072));
    EXPECT_EQ(131072u, sliceSizeFromFigure(131072, 131072));
    EXPECT_EQ(131072u, sliceSizeFromFigure(200000, 131072));
    EXPECT_EQ(117760u, sliceSizeFromFigure(131071, 131072));
}

TEST(NameHelpers, PathsSuffixesAndHex) {
    EXPECT_EQ("C:\\S\\Card\\DCIM\\a.jpg", cardPcPath("C:\\S\\Card", "/DCIM/a.jpg"));
    EXPECT_EQ("C:\\S\\Card\\DCIM", cardPcPath("C:\\S\\Card", "/DCIM/"));
    EXPECT_EQ("/DCIM/", cardRelativeName("C:\\S\\Card", "C:\\S\\Card\\DCIM\\"));
    EXPECT_EQ("/DCIM/a.jpg", cardRelativeName("C:\\S\\Card", cardPcPath("C:\\S\\Card", "/DCIM/a.jpg")));
    EXPECT_EQ("report_2.txt", withSuffixTwo("report.txt"));
    EXPECT_EQ("a.b_2.c", withSuffixTwo("a.b.c"));
    EXPECT_EQ("README_2", withSuffixTwo("README"));
    EXPECT_EQ("report.txt", baseNameOf("/Docs/report.txt"));
    EXPECT_EQ("/Docs/", folderPartOf("/Docs/report.txt"));
    EXPECT_EQ("/DCIM", withoutTrailingSlash("/DCIM/"));
    EXPECT_EQ("C:\\a", pcFolderOf("C:\\a\\b.txt"));
    EXPECT_EQ("ffffffff", hex(int32_t(-1)));
    EXPECT_EQ("2a08", hex(uint32_t(10760)));
    EXPECT_EQ("0", hex(uint32_t(0)));
}
