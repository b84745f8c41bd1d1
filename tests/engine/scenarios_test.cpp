// HotSyncs in a row: first synchronisation, conflicts, deferred folder deletions,
// exceptions, frequency, a missing folder, cancel, and the failures that must not make
// a change vanish.
#include <algorithm>

#include "SyncFixture.h"
#include "tests/common/ChildProcess.h"

namespace {

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void writeExceptions(const std::string& iniPath, const std::string& text) {
    WritePrivateProfileSectionA("Ann-Card-Exceptions", text.c_str(), iniPath.c_str());
}

class Scenario : public SyncTest {
protected:
    std::string ini() const { return settings->path(); }
};

TEST_F(Scenario, FirstSyncLeavesIdenticalCopiesAndKeepsBothVersionsOfDifferingOnes) {
    card.put("/same.txt", "x");
    writePc("/same.txt", "x");
    card.put("/diff.txt", "from handheld");
    writePc("/diff.txt", "from pc");
    // No record yet: each side "moved" by its whole time, and the handheld's base is the
    // larger, so its version is the one that moves aside.
    EXPECT_EQ((Lines{"Initial Backup", "Conflict: /diff.txt modified on both Palm and PC",
                     "  /diff.txt: Renamed on Palm --> /diff_2.txt", "  /diff.txt: Copied from PC to Palm",
                     "  /diff_2.txt: Copied from Palm to PC"}),
              sync());
    EXPECT_TRUE(result);
    EXPECT_EQ("from pc", card.content("/diff.txt"));
    EXPECT_EQ("from pc", readPc("/diff.txt"));
    EXPECT_EQ("from handheld", card.content("/diff_2.txt"));
    EXPECT_EQ("from handheld", readPc("/diff_2.txt"));
    EXPECT_EQ("x", readPc("/same.txt"));

    const Lines second = sync();
    ASSERT_EQ(1u, second.size());
    EXPECT_EQ(0u, second[0].rfind("Last Synchronize on: ", 0));
}

TEST_F(Scenario, ConflictMovesAsideTheSideThatMovedLess) {
    // PC moved further: the PC copy goes to "_2", even inside a folder with a dot.
    card.mkdir("/v1.0/");
    mkdirPc("/v1.0/");
    baseline("/v1.0/notes", "same");
    card.put("/v1.0/notes", "hh", 10);
    writePc("/v1.0/notes", "pc", 1000);
    EXPECT_EQ((Lines{"Conflict: /v1.0/notes modified on both Palm and PC",
                     "  /v1.0/notes: Renamed on PC --> /v1.0/notes_2", "  /v1.0/notes: Copied from Palm to PC",
                     "  /v1.0/notes_2: Copied from PC to Palm"}),
              ops());
    EXPECT_EQ("hh", readPc("/v1.0/notes"));
    EXPECT_EQ("pc", card.content("/v1.0/notes_2"));

    // Handheld moved further: the handheld copy goes to "_2".
    fresh();
    baseline("/f.txt", "same");
    card.put("/f.txt", "hh", 5000);
    writePc("/f.txt", "pc", 100);
    EXPECT_EQ((Lines{"Conflict: /f.txt modified on both Palm and PC", "  /f.txt: Renamed on Palm --> /f_2.txt",
                     "  /f.txt: Copied from PC to Palm", "  /f_2.txt: Copied from Palm to PC"}),
              ops());
    EXPECT_EQ("pc", card.content("/f.txt"));
    EXPECT_EQ("hh", readPc("/f_2.txt"));
    EXPECT_EQ(Lines{}, ops());
}

TEST_F(Scenario, FolderEmptiedOnHandheldIsRemovedInTheDeferredPass) {
    card.mkdir("/D/");
    card.put("/D/a.txt", "a");
    sync();
    card.objects.clear();
    EXPECT_EQ((Lines{"  /D/a.txt: Archived", "  /D/a.txt: Deleted on PC"}), ops());
    EXPECT_FALSE(pcExists("/D/"));
    EXPECT_EQ("a", archived("D\\a.txt"));
}

TEST_F(Scenario, NestedFoldersDeletedOnHandheldAreGoneInOneHotSync) {
    card.mkdir("/A/");
    card.mkdir("/A/B/");
    card.put("/A/B/f.txt", "f");
    card.put("/A/g.txt", "g");
    card.put("/kept.txt", "k");  // a card that kept none of its files would be held
    sync();
    ASSERT_EQ("f", readPc("/A/B/f.txt"));
    for (const char* name : {"/A/", "/A/B/", "/A/B/f.txt", "/A/g.txt"}) card.objects.erase(name);
    // The inner folder is retried before the outer one, so both are empty by their turn.
    EXPECT_EQ((Lines{"  /A/B/f.txt: Archived", "  /A/B/f.txt: Deleted on PC", "  /A/g.txt: Archived",
                     "  /A/g.txt: Deleted on PC"}),
              ops());
    EXPECT_FALSE(pcExists("/A/B/"));
    EXPECT_FALSE(pcExists("/A/"));
    EXPECT_EQ(0u, failures);
    EXPECT_EQ(Lines{}, ops());
    EXPECT_FALSE(card.has("/A/"));
    EXPECT_EQ("k", readPc("/kept.txt"));
}

TEST_F(Scenario, ExceptionsMatchByPrefixWithoutRegardToCase) {
    card.mkdir("/docs/");
    card.put("/docs/a.txt", "a");
    card.mkdir("/docs/sub/");
    card.put("/docs/sub/b.txt", "b");
    card.put("/docsold.txt", "o");
    card.put("/other.txt", "x");
    writeExceptions(ini(), "/DOCS=|SKIP");
    // A file exception is logged for files, silent for folders it covers.
    EXPECT_EQ((Lines{"Exception:Skip:/DOCS for :/docs/a.txt", "Exception:Skip:/DOCS for :/docs/sub/b.txt",
                     "Exception:Skip:/DOCS for :/docsold.txt", "  /other.txt: Copied from Palm to PC"}),
              ops());
    EXPECT_FALSE(pcExists("/docs/"));
    EXPECT_FALSE(pcExists("/docsold.txt"));
}

TEST_F(Scenario, FolderExceptionsAndUnknownKeywordsUnderPcOverwritesHandheld) {
    card.mkdir("/docs/");
    card.put("/docs/a.txt", "a");
    card.mkdir("/docs/sub/");
    card.put("/docs/sub/b.txt", "b");
    card.put("/docsold.txt", "o");
    card.put("/other.txt", "x");
    writeExceptions(ini(), std::string("/Docs/=|HHTOPC\0/DocsOld.txt=|pctohh\0", 37));
    EXPECT_EQ((Lines{"Exception:Handheld to PC:/DOCS/ for :/docs/", "  /docs/a.txt: Copied from Palm to PC",
                     "Exception:Handheld to PC:/DOCS/ for :/docs/sub/", "  /docs/sub/b.txt: Copied from Palm to PC",
                     "Exception:Sychronize:/DOCSOLD.TXT for :/docsold.txt", "  /docsold.txt: Copied from Palm to PC",
                     "  /other.txt: Archived", "  /other.txt: Deleted on Palm"}),
              ops(3));
    EXPECT_EQ("b", readPc("/docs/sub/b.txt"));
    EXPECT_FALSE(card.has("/other.txt"));
}

TEST_F(Scenario, SkippedFileKeepsItsLineAndItsChangeIsCarriedLater) {
    baseline("/f.txt", "same");
    const std::string recorded = state();
    writeExceptions(ini(), "/f.txt=keep|SKIP");
    writePc("/f.txt", "pc2");
    EXPECT_EQ(Lines{"Exception:Skip:/F.TXT for :/f.txt"}, ops());
    EXPECT_EQ("same", card.content("/f.txt"));
    EXPECT_EQ(recorded, state());
    WritePrivateProfileStringA("Ann-Card-Exceptions", nullptr, nullptr, ini().c_str());
    EXPECT_EQ(Lines{"  /f.txt: Copied from PC to Palm"}, ops());
    EXPECT_EQ("pc2", card.content("/f.txt"));
}

TEST_F(Scenario, WeeklyFrequencySkipsOneSecondShortAndSynchronisesAtTheWeek) {
    settings->setFrequency("Ann", 2);
    card.put("/f.txt", "x");
    Lines lines;
    uint32_t last = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {  // retry if the clock ticked meanwhile
        const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
        last = now - 604799u;
        settings->setLastBackup("Ann", "Card", static_cast<int32_t>(last));
        lines = sync();
        if (static_cast<uint32_t>(std::time(nullptr)) == now) break;
    }
    EXPECT_EQ((Lines{"Last Synchronize on: " + HandheldLocation::formatTimestamp(last),
                     "Skipping Synchronize - Frequency set to Weekly"}),
              lines);
    EXPECT_TRUE(result);
    EXPECT_EQ(static_cast<int32_t>(last), settings->lastBackup("Ann", "Card"));
    EXPECT_FALSE(pcExists("/f.txt"));

    settings->setLastBackup("Ann", "Card", static_cast<int32_t>(std::time(nullptr)) - 604800);
    lines = sync();
    EXPECT_TRUE(contains(lines, "  /f.txt: Copied from Palm to PC"));
    EXPECT_GE(static_cast<uint32_t>(settings->lastBackup("Ann", "Card")), last + 604799u);

    // A clock set back before the last run synchronises; so does an unknown code.
    card.put("/g.txt", "g");
    settings->setLastBackup("Ann", "Card", static_cast<int32_t>(std::time(nullptr)) + 3600);
    EXPECT_TRUE(contains(sync(), "  /g.txt: Copied from Palm to PC"));
    settings->setFrequency("Ann", 7);
    card.put("/h.txt", "h");
    EXPECT_TRUE(contains(sync(), "  /h.txt: Copied from Palm to PC"));
}

TEST_F(Scenario, MissingPcFolderAbortsWhenItWasSynchronisedBefore) {
    baseline("/f.txt", "same");
    removeTree(pcDir);
    EXPECT_EQ(Lines{"Sync directory missing, aborting..."}, ops());
    EXPECT_FALSE(result);
    EXPECT_EQ("same", card.content("/f.txt"));

    // A plain file where the folder should be counts as missing too.
    ASSERT_TRUE(writeBytes(pcDir, "not a folder"));
    EXPECT_EQ(Lines{"Sync directory missing, aborting..."}, ops());
    EXPECT_EQ("same", card.content("/f.txt"));
    DeleteFileA(pcDir.c_str());

    // Never synchronised: the folder is made and the run goes on.
    DeleteFileA((pcDir + ".txt").c_str());
    EXPECT_EQ(Lines{"  /f.txt: Copied from Palm to PC"}, ops());
    EXPECT_TRUE(result);
    EXPECT_EQ("same", readPc("/f.txt"));
}

TEST_F(Scenario, UnlistableHandheldAbandonsTheLocation) {
    baseline("/f.txt", "same");
    const std::string recorded = state();
    const int32_t last = settings->lastBackup("Ann", "Card");
    card.failList = true;
    EXPECT_EQ(Lines{"Could not list card"}, ops());
    EXPECT_FALSE(result);
    EXPECT_EQ(recorded, state());
    EXPECT_EQ(last, settings->lastBackup("Ann", "Card"));
}

TEST_F(Scenario, StateFileThatCannotBeReplacedIsAnErrorAndKeepsTheOldOne) {
    baseline("/f.txt", "same");
    const std::string recorded = state();
    const int32_t last = settings->lastBackup("Ann", "Card");
    card.put("/new.txt", "n");
    // Another program holds the state file open without letting it be replaced.
    HANDLE held = CreateFileA((pcDir + ".txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const Lines lines = ops();
    CloseHandle(held);
    // Seen before the passes: this run's deletions could not be remembered, so none is made.
    EXPECT_EQ((Lines{"Could not write state file: " + pcDir + ".txt (error 32): nothing is deleted on either side in this HotSync",
                     "  /new.txt: Copied from Palm to PC", "Could not write state file: " + pcDir + ".txt"}),
              lines);
    EXPECT_EQ(2u, failures);  // the driver then ends the HotSync with the error summary
    EXPECT_EQ(recorded, state());
    EXPECT_EQ(last, settings->lastBackup("Ann", "Card"));
}

TEST_F(Scenario, StateFileHoldsBothTimesWithCrLfAndReadsThemBack) {
    baseline("/f.txt", "same");
    const std::string expected = std::to_string(card.objects["/f.txt"].time) + "\t" +
                                 std::to_string(card.pcClock) + "\t/f.txt\r\n";
    EXPECT_EQ(expected, state());
    EXPECT_GT(card.objects["/f.txt"].time, 2147483647u);
    EXPECT_EQ(Lines{}, ops());  // read back as the same values: nothing changed
    EXPECT_EQ(expected, state());
    // The state file is replaced whole; no temporary file stays behind.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((pcRoot + ".tw*").c_str(), &data);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

// ---- failures that must not make a change vanish ----

TEST_F(Scenario, FailedCopyIsCarriedAtTheNextHotSync) {
    baseline("/f.txt", "same");
    card.put("/f.txt", "hh2");
    card.failCopyToPc.insert("/f.txt");
    EXPECT_EQ(Lines{"Could not copy to PC: /f.txt"}, ops());
    EXPECT_TRUE(result);
    EXPECT_EQ(1u, failures);
    card.failCopyToPc.clear();
    EXPECT_EQ(Lines{"  /f.txt: Copied from Palm to PC"}, ops());
    EXPECT_EQ(0u, failures);
    EXPECT_EQ("hh2", readPc("/f.txt"));
}

TEST_F(Scenario, FailedDeletionIsRetriedRatherThanUndone) {
    baseline("/f.txt", "same");
    card.objects.erase("/f.txt");
    SetFileAttributesA(pc("/f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ((Lines{"  /f.txt: Archived", "Could not delete PC File: /f.txt"}), ops());
    EXPECT_EQ("same", readPc("/f.txt"));
    // A deletion that keeps failing archives its version once, however many HotSyncs it fails.
    EXPECT_EQ((Lines{"  /f.txt: Already in the archive", "Could not delete PC File: /f.txt"}), ops());
    SetFileAttributesA(pc("/f.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ((Lines{"  /f.txt: Already in the archive", "  /f.txt: Deleted on PC"}), ops());
    EXPECT_FALSE(card.has("/f.txt"));
    EXPECT_FALSE(pcExists("/f.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((root + "\\Archive\\Sync\\Card\\f_2.txt").c_str()));
}

TEST_F(Scenario, ConflictWhoseCopyFailsComesBackAsNewNotAsDeleted) {
    baseline("/f.txt", "same");
    card.put("/f.txt", "hh2");
    writePc("/f.txt", "pc2");
    card.failCopyToPc.insert("/f.txt");
    EXPECT_EQ((Lines{"Conflict: /f.txt modified on both Palm and PC", "  /f.txt: Renamed on PC --> /f_2.txt",
                     "Could not copy to PC: /f.txt", "  /f_2.txt: Copied from PC to Palm"}),
              ops());
    card.failCopyToPc.clear();
    EXPECT_EQ(Lines{"  /f.txt: Copied from Palm to PC"}, ops());
    EXPECT_EQ("hh2", readPc("/f.txt"));
    EXPECT_EQ("hh2", card.content("/f.txt"));
    EXPECT_EQ("pc2", readPc("/f_2.txt"));
    EXPECT_EQ("pc2", card.content("/f_2.txt"));
}

// Copies from earlier conflicts, on either side, only push the new copy to the next number.
TEST_F(Scenario, ConflictKeepsBothVersionsWhateverNamesExist) {
    baseline("/f.txt", "same");
    writePc("/f_2.txt", "older conflict copy");
    card.put("/F_3.txt", "older handheld copy");
    card.put("/f.txt", "hh2");
    writePc("/f.txt", "pc2");
    EXPECT_EQ((Lines{"Conflict: /f.txt modified on both Palm and PC", "  /f.txt: Renamed on PC --> /f_4.txt",
                     "  /f.txt: Copied from Palm to PC", "  /f_2.txt: Copied from PC to Palm",
                     "  /F_3.txt: Copied from Palm to PC", "  /f_4.txt: Copied from PC to Palm"}),
              ops());
    EXPECT_EQ("hh2", readPc("/f.txt"));
    EXPECT_EQ("pc2", card.content("/f_4.txt"));
    EXPECT_EQ("older conflict copy", card.content("/f_2.txt"));
    EXPECT_EQ("older handheld copy", readPc("/f_3.txt"));
    card.put("/f.txt", "hh3", 5000);
    writePc("/f.txt", "pc3");
    EXPECT_EQ((Lines{"Conflict: /f.txt modified on both Palm and PC", "  /f.txt: Renamed on Palm --> /f_5.txt",
                     "  /f.txt: Copied from PC to Palm", "  /f_5.txt: Copied from Palm to PC"}),
              ops());
    EXPECT_EQ("hh3", readPc("/f_5.txt"));
    EXPECT_EQ(Lines{}, ops());

    // A rename that fails leaves both versions where they are, and the conflict stands.
    fresh();
    baseline("/f.txt", "same");
    card.put("/f.txt", "hh2", 5000);
    writePc("/f.txt", "pc2");
    card.failRename.insert("/f.txt");
    EXPECT_EQ((Lines{"Conflict: /f.txt modified on both Palm and PC", "Could not rename Palm File: /f.txt",
                     "Could not resolve Conflict: /f.txt left unchanged on Palm and PC"}),
              ops());
    EXPECT_EQ("hh2", card.content("/f.txt"));
    EXPECT_EQ("pc2", readPc("/f.txt"));
}

TEST_F(Scenario, CancelKeepsTheChangesOfEntriesNotReached) {
    baseline("/a.txt", "a");
    card.put("/b.txt", "b");
    card.put("/c.txt", "c");
    writePc("/b.txt", "b");
    writePc("/c.txt", "c");
    sync();
    for (const char* name : {"/a.txt", "/b.txt", "/c.txt"}) card.put(name, std::string(name) + " changed");
    CancelAfter cancel(1);
    EXPECT_EQ(Lines{"  /a.txt: Copied from Palm to PC"}, ops(0, &cancel));
    EXPECT_TRUE(result);
    EXPECT_EQ((Lines{"  /b.txt: Copied from Palm to PC", "  /c.txt: Copied from Palm to PC"}), ops());
    EXPECT_EQ("/c.txt changed", readPc("/c.txt"));
}

TEST_F(Scenario, ContentsAreComparedAsBytes) {
    // Same sizes; text-mode reading would call each pair equal.
    const std::pair<std::string, std::string> pairs[] = {{std::string("ab\x1A" "cd"), std::string("ab\x1A" "ce")},
                                                         {std::string("a\r\n"), std::string("a\n\n")}};
    for (const auto& pair : pairs) {
        fresh();
        baseline("/f.txt", "same");
        card.put("/f.txt", pair.first);
        writePc("/f.txt", pair.second);
        const Lines lines = ops();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("Conflict: /f.txt modified on both Palm and PC", lines[0]);
        EXPECT_EQ(pair.first, readPc("/f.txt"));
        EXPECT_EQ(pair.second, readPc("/f_2.txt"));
    }
}

TEST_F(Scenario, FailedFetchCountsAsDifferent) {
    baseline("/f.txt", "same");
    card.put("/f.txt", "new");
    writePc("/f.txt", "new");
    card.failFetch.insert("/f.txt");
    const Lines lines = ops();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Conflict: /f.txt modified on both Palm and PC", lines[0]);
}

// Makes a symbolic link with the host's own tool; wine shows it as a reparse point.
bool makeHostLink(const std::string& target, const std::string& link) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix =
        reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) return false;
    auto unixPath = [&](const std::string& path) {
        const std::wstring wide(path.begin(), path.end());
        char* converted = toUnix(wide.c_str());
        std::string result = converted ? converted : "";
        HeapFree(GetProcessHeap(), 0, converted);
        return result;
    };
    const size_t cut = link.rfind('\\');
    std::string command = "/bin/ln -s " + unixPath(target) + " " + unixPath(link.substr(0, cut)) + "/" +
                          link.substr(cut + 1);
    ChildOptions options;
    options.application = "Z:\\bin\\ln";
    if (!RunChild(command, 10000, options).started) return false;
    // The wait on a host process may return before it has run: look for the link a while.
    for (int i = 0; i < 100; ++i) {
        const DWORD attributes = GetFileAttributesA(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        Sleep(50);
    }
    return false;
}

TEST_F(Scenario, ScanDoesNotFollowLinksOutOfTheFolder) {
    const std::string outside = root + "\\outside";
    CreateDirectoryA(outside.c_str(), nullptr);
    ASSERT_TRUE(writeBytes(outside + "\\keep.txt", "not ours"));
    if (!makeHostLink(outside, pcDir + "\\L")) GTEST_SKIP() << "no host links here";
    // As if the folder had been synchronised and then deleted on the handheld.
    ASSERT_TRUE(writeBytes(pcDir + ".txt", "5\t6\t/L/\r\n5\t6\t/L/keep.txt\r\n"));
    card.put("/L/new.txt", "would land outside");
    EXPECT_EQ(Lines{"Skipping link on PC: " + pcDir + "\\L"}, ops());
    EXPECT_EQ("not ours", readFile(outside + "\\keep.txt"));
    EXPECT_EQ("<absent>", readFile(outside + "\\new.txt"));
    EXPECT_EQ("5\t6\t/L/\r\n5\t6\t/L/keep.txt\r\n", state());
}

// Names beginning with "." are names like any other; only a staged copy that a killed
// HotSync of this location left is removed, a user's file of that form takes part.
TEST_F(Scenario, NamesBeginningWithADotTakePartOnBothSides) {
    card.put("/.profile", "handheld");
    card.mkdir("/.Trashes/");
    card.put("/.Trashes/x.jpg", "x");
    writePc("/.pconly", "p");
    settings->writeString("Ann-Unfinished", "Card", "1f");
    writePc("/.tw1f-2.tmp", "left by a killed HotSync");
    writePc("/.tw1e-2.tmp", "a user's file");
    writePc("/.tw1f-2.tmp.txt", "a user's file");
    EXPECT_EQ((Lines{"Removed a copy an interrupted HotSync left on the PC: " + pc("/.tw1f-2.tmp"),
                     "  /.pconly: Copied from PC to Palm", "  /.profile: Copied from Palm to PC",
                     "  /.Trashes/x.jpg: Copied from Palm to PC", "  /.tw1e-2.tmp: Copied from PC to Palm",
                     "  /.tw1f-2.tmp.txt: Copied from PC to Palm"}),
              ops());
    EXPECT_EQ("", settings->readString("Ann-Unfinished", "Card", "x"));
    EXPECT_EQ("handheld", readPc("/.profile"));
    EXPECT_EQ("x", readPc("/.Trashes/x.jpg"));
    EXPECT_EQ("p", card.content("/.pconly"));
    EXPECT_FALSE(pcExists("/.tw1f-2.tmp"));
    EXPECT_FALSE(card.has("/.tw1f-2.tmp"));
    writePc("/.profile", "edited on pc");
    EXPECT_EQ(Lines{"  /.profile: Copied from PC to Palm"}, ops());
    EXPECT_EQ(Lines{}, ops());
}

// A rename in case only is one file on a FAT card and in the PC folder: it is never taken
// for a deletion and a new file, whichever side renamed it and whatever else changed.
TEST_F(Scenario, ARenameInCaseOnlyKeepsTheFile) {
    card.mkdir("/Docs/");
    card.put("/Docs/Notes.txt", "notes");
    card.put("/Docs/Plan.txt", "plan");
    sync();
    // Through another name: wine takes a rename in case only for a rename onto itself.
    const auto renamePc = [&](const std::string& from, const std::string& to) {
        ASSERT_TRUE(MoveFileA(pc(from).c_str(), pc("/moving").c_str()));
        ASSERT_TRUE(MoveFileA(pc("/moving").c_str(), pc(to).c_str()));
    };
    renamePc("/Docs/Notes.txt", "/Docs/NOTES.txt");
    renamePc("/Docs", "/DOCS");
    card.rename("/Docs/Plan.txt", "/Docs/plan.TXT");
    for (int round = 0; round < 2; ++round) EXPECT_EQ(Lines{}, ops()) << round;
    writePc("/DOCS/NOTES.txt", "edited under the new spelling");
    const Lines copied = ops();
    ASSERT_EQ(1u, copied.size());  // under whichever spelling
    EXPECT_EQ(upperAscii("  /Docs/Notes.txt: Copied from PC to Palm"), upperAscii(copied[0]));
    EXPECT_EQ("edited under the new spelling", card.content("/Docs/Notes.txt"));
    EXPECT_EQ("plan", readPc("/Docs/Plan.txt"));
    EXPECT_EQ("/Docs/plan.TXT", card.spelling("/docs/plan.txt"));  // a FAT card keeps what it was given
    EXPECT_EQ(Lines{}, ops());
}

// A folder deleted on one side keeps what was added or changed in it on the other side,
// and is made again where it was deleted; the rest of it goes.
TEST_F(Scenario, AFolderDeletedOnOneSideKeepsWhatChangedInsideOnTheOther) {
    for (const bool deletedOnPc : {true, false}) {
        SCOPED_TRACE(deletedOnPc ? "deleted on PC" : "deleted on the handheld");
        fresh();
        card.mkdir("/Docs/");
        card.mkdir("/Docs/Old/");
        card.put("/Docs/Old/old.txt", "old");
        card.put("/Docs/kept.txt", "kept");
        card.put("/Docs/gone.txt", "gone");
        card.put("/other.txt", "other");  // a side that kept none of its files would be held
        sync();
        if (deletedOnPc) {
            removeTree(pc("/Docs"));
            card.put("/Docs/kept.txt", "changed on the handheld");
            card.mkdir("/Docs/New/");
            card.put("/Docs/New/new.txt", "new on the handheld");
        } else {
            for (auto it = card.objects.begin(); it != card.objects.end();)
                it = it->first.rfind("/Docs/", 0) == 0 ? card.objects.erase(it) : std::next(it);
            writePc("/Docs/kept.txt", "changed on the PC");
            mkdirPc("/Docs/New/");
            writePc("/Docs/New/new.txt", "new on the PC");
        }
        ops();
        EXPECT_EQ(0u, failures);
        const std::string kept = deletedOnPc ? "changed on the handheld" : "changed on the PC";
        const std::string added = deletedOnPc ? "new on the handheld" : "new on the PC";
        EXPECT_EQ(kept, readPc("/Docs/kept.txt"));
        EXPECT_EQ(kept, card.content("/Docs/kept.txt"));
        EXPECT_EQ(added, readPc("/Docs/New/new.txt"));
        EXPECT_EQ(added, card.content("/Docs/New/new.txt"));
        EXPECT_FALSE(pcExists("/Docs/gone.txt"));
        EXPECT_FALSE(card.has("/Docs/gone.txt"));
        EXPECT_FALSE(pcExists("/Docs/Old/"));
        EXPECT_FALSE(card.has("/Docs/Old/"));
        EXPECT_EQ(Lines{}, ops());
    }
}

// Deleting most of a side's files at once is held back under synchronisation until the
// user confirms it with a one-time overwrite; copies go ahead meanwhile.
TEST_F(Scenario, MassDeletionIsHeldBackUntilConfirmed) {
    for (int i = 0; i < 12; ++i) card.put("/f" + std::to_string(i) + ".txt", "content " + std::to_string(i));
    sync();
    card.objects.clear();  // a card that comes back empty
    card.put("/new.txt", "new");
    const std::string confirm = "): to carry them out, choose \"Handheld overwrites desktop\" once in the settings dialog; "
                                "it also replaces PC files changed since the last HotSync with the Palm's copies, keeping "
                                "the replaced versions in the archive";
    EXPECT_EQ((Lines{"Holding back 12 deletions on PC (of its 12 files; more than 50%" + confirm, "  /new.txt: Copied from Palm to PC"}),
              ops());
    EXPECT_EQ(0u, failures);
    EXPECT_EQ("content 3", readPc("/f3.txt"));
    EXPECT_NE(std::string::npos, state().find("\t/f3.txt\r\n"));  // held entries keep their lines
    // The new file does not dilute the count: the hold lasts until it is confirmed.
    EXPECT_EQ(Lines{"Holding back 12 deletions on PC (held since an earlier HotSync" + confirm}, ops());
    EXPECT_EQ(24u, ops(2).size());  // confirmed: each archived and deleted
    EXPECT_FALSE(pcExists("/f3.txt"));
    EXPECT_EQ("", settings->heldDeletions("Ann", "Card"));

    // The share is the user's setting; exactly the share, or fewer than ten, still go.
    const struct {
        int32_t share, files, deleted;
        bool held;
    } rows[] = {{100, 20, 15, false}, {50, 20, 10, false}, {50, 9, 8, false}, {50, 21, 11, true}, {20, 20, 10, true},
                // A side that would lose every file is held whatever the count, from two on.
                {50, 9, 9, true}, {50, 2, 2, true}, {50, 1, 1, false}, {100, 2, 2, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.share) + "% " + std::to_string(row.deleted) + "/" + std::to_string(row.files));
        fresh();
        settings->writeInt("Ann", "MaxDelete", row.share);
        for (int i = 0; i < row.files; ++i) writePc("/f" + std::to_string(i) + ".txt", "x");
        sync();
        for (int i = 0; i < row.deleted; ++i) card.objects.erase("/f" + std::to_string(i) + ".txt");
        EXPECT_EQ(row.held ? 1u : 2u * row.deleted, ops().size());
        EXPECT_EQ(row.held, pcExists("/f0.txt"));
    }
}

TEST_F(Scenario, ClaimedDatabasesAreLeftAlone) {
    const CreatorList claimed{0x54657374u};
    context.creators = &claimed;
    card.put("/db.pdb", "db");
    StandinLogClear();
    context.action = 0;
    FakeLocation location(&context, card, pcDir);
    location.entries()["/db.pdb"].creator = 0x54657374u;
    location.entries()["/other.pdb"].creator = 0x4F746872u;
    EXPECT_TRUE(location.isClaimedDatabase("/db.pdb"));
    EXPECT_FALSE(location.isClaimedDatabase("/other.pdb"));
    EXPECT_TRUE(location.synchronise());
    EXPECT_FALSE(pcExists("/db.pdb"));
    context.creators = nullptr;
    EXPECT_FALSE(location.isClaimedDatabase("/db.pdb"));
}

}  // namespace

// A file saved or made on either side while the HotSync runs, at the moment the engine is
// about to replace or delete that very file, is left as it is: nothing of it is lost, the
// HotSync counts a failure, and the next one carries both versions.
TEST_F(Scenario, AFileChangedDuringTheHotSyncIsNeitherReplacedNorDeleted) {
    const struct {
        const char* what;
        const char* call;  // the card call at which the user saves
        bool pcSaves;      // on the PC (else on the card)
        int32_t action;
        bool deletedOnCard, deletedOnPc, changedOnCard, changedOnPc;
    } cases[] = {
        {"card copy about to replace the PC's", "copyToPc", true, 0, false, false, true, false},
        {"card copy under an overwrite", "copyToPc", true, ACTION_HH_OVERWRITES, false, false, true, false},
        {"PC copy about to be deleted", "check", true, 0, true, false, false, false},
        {"PC copy about to replace the card's", "check", false, 0, false, false, false, true},
        {"card copy about to be deleted", "check", false, 0, false, true, false, false},
        {"PC copy about to go where the card had none", "check", false, 0, true, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        baseline("/f.txt", "same");
        if (c.deletedOnCard) card.objects.erase("/f.txt");
        if (c.deletedOnPc) DeleteFileA(pc("/f.txt").c_str());
        if (c.changedOnCard) card.put("/f.txt", "from card");
        if (c.changedOnPc) writePc("/f.txt", "from pc");
        // "check" is the engine's last look at a card file; a PC file about to be deleted is
        // saved at the card call of an entry before it.
        bool saved = false;
        card.during = [&](const char* call, const std::string&) {
            if (saved || (std::string(call) != c.call && !(c.deletedOnCard && std::string(call) == "copyToPc"))) return;
            saved = true;
            if (c.pcSaves) writePc("/f.txt", "saved during", 7);
            else card.put("/f.txt", "saved during", 7);
        };
        if (c.deletedOnCard) card.put("/a.txt", "x");
        ops(c.action);
        card.during = nullptr;
        EXPECT_TRUE(saved);
        EXPECT_EQ("saved during", c.pcSaves ? readPc("/f.txt") : card.content("/f.txt"));
        EXPECT_GE(failures, 1u);
        // The next HotSync knows both versions and keeps them.
        ops();
        ops();
        EXPECT_EQ(0u, failures);
        EXPECT_EQ(card.content("/f.txt"), readPc("/f.txt"));
        const bool bothFound = card.content("/f.txt") == "saved during" || card.content("/f_2.txt") == "saved during";
        EXPECT_TRUE(bothFound);
    }
}
