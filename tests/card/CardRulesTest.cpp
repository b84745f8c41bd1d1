#include <gtest/gtest.h>
#include "card/CardRules.h"
#include "engine/HotSyncLog.h"
#include "engine/NameRules.h"

using namespace card;

TEST(CardNames, PlainNamesAreAccepted) {
    for (const char* name : {"/a.txt", "/DCIM/", "/DCIM/100/pic 1.jpg", "/x/y/z/", "/.hidden", "/a..b",
                             "/CONSOLE.txt", "/COM10", "/LPT", "/nul1.txt", "/Caf\xe9.doc", "/ leading",
                             // device names: the PC side reaches them through the "\\?\" form
                             "/CON", "/con.txt", "/Nul", "/AUX.tar.gz", "/COM1", "/lpt9.log", "/x/CONIN$",
                             "/COM\xb9", "/d/NUL/"})
        EXPECT_TRUE(isSafeRelativeName(names::ansiCodePage(), name)) << name;
}

TEST(CardNames, NamesThatLeaveTheFolderAreRefused) {
    const char* refused[] = {
        "",  "/", "a.txt", "//", "/a//b",                     // not a card name, empty segments
        "/..", "/../x", "/a/../../x", "/./x", "/a/./", "/../", // dot segments
        "/a\\..\\..\\x", "/\\x", "/C:\\x", "/C:", "/a:b", "/x/C:/y", // separators, drives, streams
        "/a*", "/a?", "/a\"b", "/<a>", "/a|b", "/a\tb", "/a\nb", "/a\x01",
        "/a.", "/a ", "/dir./x", "/...", "/dir /x", "/prn "};   // Windows would drop the tail
    for (const char* name : refused) EXPECT_FALSE(isSafeRelativeName(names::ansiCodePage(), name)) << printableName(name);
}

TEST(CardNames, CardNamesMustBeOneFolderName) {
    EXPECT_TRUE(isSafePathComponent(names::ansiCodePage(), "Card1"));
    EXPECT_TRUE(isSafePathComponent(names::ansiCodePage(), "My Card"));
    for (const char* name : {"", ".", "..", "..\\..\\Windows", "a/b", "C:", "C:\\x", "\\\\server\\share",
                             "NUL", "Card.", "a|b"})
        EXPECT_FALSE(isSafePathComponent(names::ansiCodePage(), name)) << name;
    EXPECT_EQ("a?b", printableName(std::string("a\nb")));
}

TEST(CardNames, LabelsBecomeUsableFolderNamesOrNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"Card", "Card"}, {"My Card 2", "My Card 2"}, {"Caf\xe9", "Caf\xe9"},  // usable labels stay
        {"Card.", "Card"}, {"Card. . ", "Card"}, {"  Card", "Card"},
        {"a:b", "a_b"}, {"C:\\x", "C__x"}, {"a/b|c?d*e\"f<g>", "a_b_c_d_e_f_g_"}, {"t\tab\x7f", "t_ab\x7f"},
        {"k=v", "k_v"}, {";c", "_c"}, {"[s]", "_s]"},
        {"CON", "CON_"}, {"con.txt", "con_.txt"}, {"COM1", "COM1_"}, {"Lpt9 .x", "Lpt9_ .x"}, {"CONSOLE", "CONSOLE"},
        {"", ""}, {".", ""}, {"...", ""}, {"   ", ""}, {" . .", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, folderNameForLabel(names::ansiCodePage(), c.first)) << printableName(c.first);
        if (!c.second.empty()) {
            EXPECT_TRUE(isSafePathComponent(names::ansiCodePage(), c.second)) << c.second;
        }
    }
    // The record of a label tells labels apart that Windows and settings keys would not.
    EXPECT_NE(labelRecordKey("Card", 1), labelRecordKey("card", 1));
    EXPECT_NE(labelRecordKey("Card", 1), labelRecordKey("Card", 2));
    EXPECT_EQ(labelRecordKey("", 1), "L");
    auto taken = [](const std::string& n) { return n == "Card" || n == "Card_2"; };
    EXPECT_EQ("Card_3", firstFreeName("Card", true, false, taken));
    EXPECT_EQ("Other", firstFreeName("Other", true, false, taken));
    // The numbered keys of a label are read back exactly as firstFreeName makes them.
    for (const char* key : {"Card_2", "Card_17"}) EXPECT_TRUE(numberedFrom(key, "Card")) << key;
    for (const char* key : {"Card", "Card_", "Card_1", "Card_02", "card_2", "Card_2x", "Card__2", "Cards_2"})
        EXPECT_FALSE(numberedFrom(key, "Card")) << key;
    EXPECT_TRUE(sameIgnoringCase("MainMemory", "mainMEMORY"));
    EXPECT_FALSE(sameIgnoringCase("Card", "Card "));
}

TEST(ListingLines, EntryLinesAreParsed) {
    ListingLine l;
    ASSERT_TRUE(parseListingLine("/DCIM/\t3300000000 16 0", l));
    EXPECT_EQ("/DCIM/", l.name);
    EXPECT_EQ(3300000000u, l.time);
    EXPECT_EQ(16u, l.attributes);
    EXPECT_EQ(0u, l.size);
    ASSERT_TRUE(parseListingLine("/a b.txt\t  1\t2   300000 trailing", l));
    EXPECT_EQ("/a b.txt", l.name);
    EXPECT_EQ(300000u, l.size);
    ASSERT_TRUE(parseListingLine("/empty.txt\t5 0 0", l));  // an empty file is a file
    EXPECT_EQ("/empty.txt", l.name);
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

// The driver and every card read the listing of all cards through one parser, so a name
// the driver found always has its section, and a section is what the driver named.
TEST(ListingText, SectionsOfAllCards) {
    using Sections = std::vector<std::pair<std::string, std::vector<std::string>>>;
    const struct {
        std::string text;
        Sections want;
    } cases[] = {
        {"", {}},
        {"junk\n/a\t1 0 1\n", {}},  // lines before any header belong to no card
        {"<Card1>\n/one\t1 0 1\n<Card>\r\n/two\t2 0 2\r\n\n<Other>\n/four\t4 0 4",
         {{"Card1", {"/one\t1 0 1"}}, {"Card", {"/two\t2 0 2", ""}}, {"Other", {"/four\t4 0 4"}}}},
        {"<Empty>\n<Next>\n/x\t1 0 1\n<Last>", {{"Empty", {}}, {"Next", {"/x\t1 0 1"}}, {"Last", {}}}},
        {"<>\n/a\t1 0 1\n< spaced >\n", {{"", {"/a\t1 0 1"}}, {" spaced ", {}}}},
        // Not headers: the line must begin with "<" and end with ">".
        {"<A>\n<B\nC>\n<\n>\n<A>x\n", {{"A", {"<B", "C>", "<", ">", "<A>x"}}}},
        {"<A>B>\n/a\t1 0 1\n", {{"A>B", {"/a\t1 0 1"}}}},
    };
    for (const auto& c : cases) {
        Sections got;
        for (const ListingSection& s : parseCardListing(c.text)) got.emplace_back(s.cardName, s.lines);
        EXPECT_EQ(c.want, got) << printableName(c.text);
    }
    // A long line does not end the reading: what follows it would read as deleted.
    const auto listing = parseCardListing("<A>\n" + std::string(1024, 'x') + "\n/b\t1 0 1\n<B>\n");
    ASSERT_NE(nullptr, findListingSection(listing, "A"));
    EXPECT_EQ("/b\t1 0 1", findListingSection(listing, "A")->lines.back());
    EXPECT_NE(nullptr, findListingSection(listing, "B"));
    EXPECT_EQ(nullptr, findListingSection(listing, "b"));  // exactly, with case
    EXPECT_EQ(nullptr, findListingSection(parseCardListing("<Cards>\n"), "Card"));
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

TEST(NameHelpers, PathsAndHex) {
    EXPECT_EQ("C:\\S\\Card\\DCIM\\a.jpg", cardPcPath("C:\\S\\Card", "/DCIM/a.jpg"));
    EXPECT_EQ("C:\\S\\Card\\DCIM", cardPcPath("C:\\S\\Card", "/DCIM/"));
    EXPECT_EQ("/DCIM/", cardRelativeName(names::ansiCodePage(), "C:\\S\\Card", "C:\\S\\Card\\DCIM\\"));
    EXPECT_EQ("/DCIM/a.jpg", cardRelativeName(names::ansiCodePage(), "C:\\S\\Card", cardPcPath("C:\\S\\Card", "/DCIM/a.jpg")));
    EXPECT_EQ("report.txt", baseNameOf("/Docs/report.txt"));
    EXPECT_EQ("/Docs/", folderPartOf("/Docs/report.txt"));
    EXPECT_EQ("/DCIM", withoutTrailingSlash("/DCIM/"));
    EXPECT_EQ("ffffffff", hex(int32_t(-1)));
    EXPECT_EQ("2a08", hex(uint32_t(10760)));
    EXPECT_EQ("0", hex(uint32_t(0)));
}
