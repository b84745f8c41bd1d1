// The PC operations on their own: archive, delete, rename aside, folders, file status.
#include "SyncFixture.h"

namespace {

class PcOperations : public SyncTest {
protected:
    FakeLocation& location() {
        if (!location_) location_ = std::make_unique<FakeLocation>(&context, card, pcDir);
        return *location_;
    }
    std::unique_ptr<FakeLocation> location_;
};

TEST_F(PcOperations, ArchiveFolderLiesBesideThePcRoot) {
    EXPECT_EQ(archiveDir, location().archiveDirectory());
    const DWORD attributes = GetFileAttributesA(archiveDir.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // A root given without its final separator means the same folder.
    context.pcFolder = root + "\\Sync";
    FakeLocation other(&context, card, pcDir, "Other");
    EXPECT_EQ(root + "\\Archive\\Sync\\Other", other.archiveDirectory());
}

// The archive keeps the card's folders and every version it is given: a name already
// taken there (by an earlier version, or by a file where a folder is wanted) is numbered.
TEST_F(PcOperations, DeletingArchivesFirstAndTheArchiveNeverOverwrites) {
    mkdirPc("/a/");
    mkdirPc("/b/");
    const struct {
        const char* name;
        const char* content;
        const char* archivedAs;
    } steps[] = {
        {"/a/notes.txt", "first", "a\\notes.txt"},   {"/b/notes.txt", "second", "b\\notes.txt"},
        {"/a/notes.txt", "third", "a\\notes_2.txt"}, {"/a/notes.txt", "fourth", "a\\notes_3.txt"},
        {"/x", "file x", "x"},                       {"/x/y", "below a folder x", "x_2\\y"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (std::string(step.name) == "/x/y") mkdirPc("/x/");
        writePc(step.name, step.content);
        FileEntry& listed = location().entries()[step.name];  // as the scan saw it
        location().fillPcStatus(location().pcPathOf(step.name), listed);
        StandinLogClear();
        EXPECT_TRUE(location().deletePcFile(step.name, listed));
        EXPECT_EQ((Lines{"  " + std::string(step.name) + ": Archived", "  " + std::string(step.name) + ": Deleted on PC"}),
                  logLines());
        EXPECT_FALSE(pcExists(step.name));
        EXPECT_EQ(0u, location().entries()[step.name].pcTime);
    }
    for (const auto& step : steps) EXPECT_EQ(step.content, archived(step.archivedAs)) << step.archivedAs;
}

TEST_F(PcOperations, WithArchivingOffNothingIsCopied) {
    context.archive = false;
    writePc("/f.txt", "x");
    location().fillPcStatus(location().pcPathOf("/f.txt"), location().entries()["/f.txt"]);
    StandinLogClear();
    EXPECT_TRUE(location().deletePcFile("/f.txt", location().entries()["/f.txt"]));
    EXPECT_EQ(Lines{"  /f.txt: Deleted on PC"}, logLines());
    EXPECT_EQ("<absent>", archived("f.txt"));
}

TEST_F(PcOperations, AFailedArchiveCopyKeepsThePcFile) {
    writePc("/f.txt", "only copy");
    location();
    // Held open without sharing, the file cannot be read for the archive copy.
    HANDLE held = CreateFileA(pc("/f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    StandinLogClear();
    FileEntry& entry = location().entries()["/f.txt"];
    entry.pcTime = 77;
    EXPECT_FALSE(location().deletePcFile("/f.txt", entry));
    CloseHandle(held);
    EXPECT_EQ(Lines{"Could not archive PC File: /f.txt"}, logLines());
    EXPECT_EQ("only copy", readPc("/f.txt"));
    EXPECT_EQ(77u, entry.pcTime);
}

TEST_F(PcOperations, RenameAsideNeverReplacesAnEarlierCopy) {
    writePc("/report.doc", "mine");
    FileEntry& entry = location().entries()["/report.doc"];
    location().fillPcStatus(pc("/report.doc"), entry);
    StandinLogClear();
    ASSERT_TRUE(location().renameOnPc("/report.doc", entry));
    EXPECT_EQ(Lines{"  /report.doc: Renamed on PC --> /report_2.doc"}, logLines());
    EXPECT_EQ(0u, entry.pcTime);
    EXPECT_EQ(card.pcClock, location().entries()["/report_2.doc"].pcTime);
    EXPECT_EQ("mine", readPc("/report_2.doc"));

    // The next free name, whatever names exist.
    writePc("/report.doc", "newer");
    StandinLogClear();
    ASSERT_TRUE(location().renameOnPc("/report.doc", entry));
    EXPECT_EQ(Lines{"  /report.doc: Renamed on PC --> /report_3.doc"}, logLines());
    EXPECT_EQ("mine", readPc("/report_2.doc"));
    EXPECT_EQ("newer", readPc("/report_3.doc"));

    // A file that appeared after the scan is still never replaced.
    writePc("/report.doc", "newest");
    writePc("/report_4.doc", "not scanned");
    StandinLogClear();
    EXPECT_FALSE(location().renameOnPc("/report.doc", entry));
    EXPECT_EQ(Lines{"Could not rename PC File: /report.doc"}, logLines());
    EXPECT_EQ("not scanned", readPc("/report_4.doc"));
    EXPECT_EQ("newest", readPc("/report.doc"));
}

TEST_F(PcOperations, FoldersAreCreatedAndDeferredWhenNotEmpty) {
    StandinLogClear();
    FileEntry& made = location().entries()["/new/"];
    EXPECT_TRUE(location().createPcDirectory("/new/", made));
    EXPECT_NE(0u, made.pcTime);
    EXPECT_FALSE(location().createPcDirectory("/no/such/", location().entries()["/no/such/"]));
    EXPECT_EQ(Lines{"Could not create PC directory: " + pcDir + "\\no\\such"}, logLines());

    writePc("/new/f.txt", "f");
    StandinLogClear();
    EXPECT_FALSE(location().deletePcDirectory("/new/", made));  // main pass: silent, deferred
    EXPECT_EQ(Lines{}, logLines());
    EXPECT_EQ(std::vector<std::string>{"/new/"}, location().deferred());
    DeleteFileA(pc("/new/f.txt").c_str());
    EXPECT_TRUE(location().deletePcDirectory("/new/", made));
    EXPECT_EQ(0u, made.pcTime);
    EXPECT_FALSE(pcExists("/new/"));
}

TEST_F(PcOperations, FileStatusFillsTimeAndSizeOrMarksTheEntry) {
    writePc("/f.txt", "12345");
    FileEntry entry;
    EXPECT_TRUE(location().fillPcStatus(pc("/f.txt"), entry));
    EXPECT_EQ(card.pcClock, entry.pcTime);
    EXPECT_EQ(5u, entry.size);
    entry.size = 99;  // a size from the listing stays
    EXPECT_TRUE(location().fillPcStatus(pc("/f.txt"), entry));
    EXPECT_EQ(99u, entry.size);
    FileEntry folder;
    EXPECT_TRUE(location().fillPcStatus(pcDir + "\\", folder));  // one trailing "\" is ignored
    FileEntry missing;
    EXPECT_FALSE(location().fillPcStatus(pc("/none.txt"), missing));
    EXPECT_EQ(4u, missing.status);
    EXPECT_TRUE(location().pcFolderExists(pcDir + "\\"));
    EXPECT_FALSE(location().pcFolderExists(pc("/f.txt")));
}

TEST_F(PcOperations, PcTimesAreSecondsSince1970AndNeverZero) {
    EXPECT_EQ(1700000000u, HandheldLocation::pcTimeFromFileTime(1700000000ull * 10000000ull + 116444736000000000ull));
    EXPECT_EQ(1u, HandheldLocation::pcTimeFromFileTime(116444736000000000ull));
    const std::string stamp = HandheldLocation::formatTimestamp(1700000000u);
    ASSERT_EQ(17u, stamp.size()) << stamp;  // mm/dd/yy hh:mm:ss
    EXPECT_EQ('/', stamp[2]);
    EXPECT_EQ('/', stamp[5]);
    EXPECT_EQ(' ', stamp[8]);
    EXPECT_EQ(':', stamp[11]);
    EXPECT_EQ(":", stamp.substr(14, 1));
}

// A card location's names: the ANSI code page's letters in either case are one name, as on
// FAT and on the PC ("Café" and "CAFÉ"); what only looks alike, or has no one-byte small
// form, stays apart.
TEST(NameOrderTest, TheAnsiCodePagesLettersInEitherCaseAreOneName) {
    ASSERT_EQ(1252u, GetACP());
    const NameOrder order{true, &pcfile::ansiCaseFold()};
    const auto same = [&](const std::string& a, const std::string& b) { return !order(a, b) && !order(b, a); };
    for (const auto& pair : std::vector<std::pair<std::string, std::string>>{
             {"/Caf\xE9.txt", "/CAF\xC9.TXT"}, {"/\x9A", "/\x8A"}, {"/\xFF", "/\x9F"}, {"/\xE6/\xF8", "/\xC6/\xD8"}})
        EXPECT_TRUE(same(pair.first, pair.second)) << pair.first;
    for (const auto& pair : std::vector<std::pair<std::string, std::string>>{
             {"/e", "/\xE9"}, {"/\xF7", "/\xD7"}, {"/\xDF", "/ss"}, {"/\xB5", "/m"}, {"/a", "/b"}})
        EXPECT_FALSE(same(pair.first, pair.second)) << pair.first;
    EXPECT_TRUE(order.startsWith("/CAF\xC9/x", "/caf\xE9/"));
}

// The same in code page 932 (engine_test_cp932), as the system describes it: a trail byte
// is neither a letter (ア 83 41, ヂ 83 61) nor a "\" (表 95 5C), while the full-width letters
// fold as the file system folds them.
TEST(NameOrderTest, TwoByteCharactersAreWholeInCodePage932) {
    if (GetACP() != 932) GTEST_SKIP() << "runs as engine_test_cp932";
    const NameOrder order{true, &pcfile::ansiCaseFold()};
    const auto same = [&](const std::string& a, const std::string& b) { return !order(a, b) && !order(b, a); };
    const struct {
        std::string a, b;
        bool same;
    } rows[] = {{"/\x83\x41.txt", "/\x83\x61.txt", false}, {"/\x83\x42", "/\x83\x62", false},
                {"/\x82\x60.TXT", "/\x82\x81.txt", true},   {"/\x83\x9F", "/\x83\xBF", true},  // Ａ ａ, Α α
                {"/\x84\x40", "/\x84\x70", true},           {"/\xB1", "/\xB1", true}};         // А а, ｱ
    for (const auto& r : rows) EXPECT_EQ(r.same, same(r.a, r.b)) << r.a << " " << r.b;
    EXPECT_TRUE(order.startsWith("/\x95\x5C/x", "/\x95\x5C/"));
    EXPECT_FALSE(order.startsWith("/\x83\x61/x", "/\x83\x41/"));
    EXPECT_EQ("C:\\\x95\x5C", withoutTrailingBackslashes("C:\\\x95\x5C"));
    EXPECT_EQ("/\x83\x61.TXT", upperAscii("/\x83\x61.txt"));
    EXPECT_FALSE(sameIgnoringCase("\x83\x41", "\x83\x61"));
    EXPECT_EQ(L"C:\\\u8868", pcfile::widePath("C:\\\x95\x5C"));
}

}  // namespace
