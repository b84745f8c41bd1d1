// Name rules and the state file text, without touching any file.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "engine/NameRules.h"
#include "engine/StateFile.h"

namespace {

TEST(ConflictName, SuffixGoesBeforeTheLastDotOfTheLastComponent) {
    EXPECT_EQ("C:\\Sync\\Card\\report_2.doc", withSuffixBeforeExtension("C:\\Sync\\Card\\report.doc", "_2"));
    EXPECT_EQ("/a/x.tar_2.gz", withSuffixBeforeExtension("/a/x.tar.gz", "_2"));
    EXPECT_EQ("/README_2", withSuffixBeforeExtension("/README", "_2"));
    // A dotted folder and a file without extension: the folder name stays as it is.
    EXPECT_EQ("C:\\My.Files\\Card\\notes_2", withSuffixBeforeExtension("C:\\My.Files\\Card\\notes", "_2"));
    EXPECT_EQ("/v1.0/notes_2", withSuffixBeforeExtension("/v1.0/notes", "_2"));
    // "_" sorts after ".", so the conflict copy comes later in the same pass.
    EXPECT_LT(std::string("/report.doc"), withSuffixBeforeExtension("/report.doc", "_2"));
    // A name as long as a folder holds keeps that length: the end before the extension
    // goes, never part of a two-byte character; an extension too long for any cut keeps
    // the suffix all the same.
    const std::string stem(251, 'x');
    EXPECT_EQ("/D/" + stem.substr(0, 249) + "_2.txt", withSuffixBeforeExtension("/D/" + stem + ".txt", "_2"));
    EXPECT_EQ(std::string(253, 'y') + "_2", withSuffixBeforeExtension(std::string(255, 'y'), "_2"));
    EXPECT_EQ("/ab_12." + stem + "x", withSuffixBeforeExtension("/ab." + stem + "x", "_12"));
    EXPECT_EQ("/" + std::string(247, 'z') + "_10.txt",
              withSuffixBeforeExtension("/" + std::string(247, 'z') + "\x82\xA0" + std::string(2, 'z') + ".txt", "_10"));
}

TEST(ExceptionMatch, FirstPrefixWinsComparedInUpperCase) {
    const std::vector<std::string> names{"/DOCS", "/DOCS/SUB/", "/"};
    EXPECT_EQ(0, matchException(upperAscii("/docs/"), names));
    EXPECT_EQ(0, matchException(upperAscii("/docs/sub/x.txt"), names));  // list order, not length
    EXPECT_EQ(0, matchException(upperAscii("/DocsOld.txt"), names));
    EXPECT_EQ(2, matchException(upperAscii("/other"), names));
    EXPECT_EQ(-1, matchException("/X", std::vector<std::string>{"/Y"}));
    EXPECT_EQ("/\xE9T\xE9/ABC", upperAscii("/\xE9t\xE9/abc"));  // only a to z change
    EXPECT_TRUE(sameKindOfName("/A/", "/a/b/"));
    EXPECT_TRUE(sameKindOfName("/A", "/a.txt"));
    EXPECT_FALSE(sameKindOfName("/A", "/a/"));
}

TEST(StateNumbers, KeptModulo2To32) {
    EXPECT_EQ(3000000000u, parseStateNumber("3000000000"));
    EXPECT_EQ(4294967295u, parseStateNumber("4294967295"));
    EXPECT_EQ(4294967295u, parseStateNumber("-1"));
    EXPECT_EQ(12u, parseStateNumber("12abc"));
    EXPECT_EQ(0u, parseStateNumber("abc"));
    EXPECT_EQ(0u, parseStateNumber(""));
    EXPECT_EQ(5u, parseStateNumber("+5"));
}

using Line = std::tuple<std::string, uint32_t, uint32_t>;

std::vector<Line> parse(const std::string& text) {
    std::vector<Line> lines;
    parseStateText(text, [&](const std::string& n, uint32_t h, uint32_t p) { lines.emplace_back(n, h, p); });
    return lines;
}

TEST(StateText, WellFormedCompleteLinesOnly) {
    const std::string text =
        "3000000010\t1700000000\t/a.txt\r\n"  // CR LF from disk
        "5\t6\t/b c.txt\n"                     // bare LF
        "7\t8\t/tab\tin name\n"               // everything after the second TAB is the name
        "no tabs here\n"
        "1\t2\t\n"                             // empty name
        "1\t/only one tab\n"
        "\n"
        "9\t9\t/unterminated";                // no line feed: ignored
    const std::vector<Line> want{Line{"/a.txt", 3000000010u, 1700000000u}, Line{"/b c.txt", 5u, 6u},
                                 Line{"/tab\tin name", 7u, 8u}};
    EXPECT_EQ(want, parse(text));
}

TEST(StateText, WrittenLinesReadBack) {
    std::string text;
    appendStateLine(text, 4294967295u, 2147483648u, "/DCIM/");
    appendStateLine(text, 1u, 2u, "/x.txt");
    EXPECT_EQ("4294967295\t2147483648\t/DCIM/\r\n1\t2\t/x.txt\r\n", text);
    const std::vector<Line> want{Line{"/DCIM/", 4294967295u, 2147483648u}, Line{"/x.txt", 1u, 2u}};
    EXPECT_EQ(want, parse(text));
}

}  // namespace
