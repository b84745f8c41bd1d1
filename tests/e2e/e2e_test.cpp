// Whole HotSyncs: hotsync.exe loads a copy of Tarnwick.dll and runs it against a simulated
// handheld built here; the tests read the HotSync log, the PC folder, the card folders, the
// state files and the settings file afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "E2eSupport.h"
#include "tests/common/TestTree.h"

namespace {
const char kVersionPrefix[] = "Tarnwick Version ";
const char kCancelLine[] = "Tarnwick: User canceled, syncronization not complete";
const char kErrorsSummary[] = "Tarnwick encountered 1 or more errors";

bool isVersionLine(const LogLine& line) {
    return line.activity == -1 && line.text.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) == 0;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string oneVolume(const std::string& companion, const std::string& label = "MyCard") {
    return "[Device]\n" + companion + "Vfs=1\n[Volume1]\nPath=card1\nLabel=" + label + "\n";
}
}  // namespace

TEST(HotSync, BareHandheldLogsOnlyTheVersionAndSuccessAndCreatesThePcFolder) {
    Scenario s("bare");
    s.deviceIni("[Device]\n");
    SetIniValue(s.settingsFile(), "E2E User", "MainPerm", "2");
    ASSERT_FALSE(Exists(s.pc()));
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(2u, run.log.size()) << run.dump();
    EXPECT_TRUE(isVersionLine(run.log[0])) << run.dump();
    EXPECT_EQ("Tarnwick", run.log[1].text);
    EXPECT_EQ(20, run.log[1].activity);
    EXPECT_TRUE(Exists(s.pc()));
    EXPECT_EQ("2", IniValue(s.settingsFile(), "E2E User", "MainTemp"));
    EXPECT_EQ("0", IniValue(s.settingsFile(), "E2E User", "CardTemp"));
}

TEST(HotSync, DoNothingAndUnknownTypesTouchNothing) {
    Scenario s("donothing");
    s.deviceIni(oneVolume("Companion=1\n"));
    s.cardFile("card1", "a.txt", "card");
    HotSyncRun run = s.sync("E2E User", 6);
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.log.size()) << run.dump();
    EXPECT_EQ("Tarnwick Conduit configured to Do Nothing", run.log[0].text);
    EXPECT_EQ(-1, run.log[0].activity);
    HotSyncRun other = s.sync("E2E User", 4);
    EXPECT_EQ(0, other.exitCode);
    EXPECT_TRUE(other.log.empty()) << other.dump();
    EXPECT_FALSE(Exists(s.pc()));
    EXPECT_EQ("<absent>", IniValue(s.settingsFile(), "E2E User", "CardTemp"));
}

TEST(HotSync, ClieModeMirrorsTheVolumeThroughVfsAndWritesTheStateFile) {
    Scenario s("clie");
    s.deviceIni(oneVolume("Companion=1\n"));
    s.cardFile("card1", "Docs\\notes.txt", "notes from the card");
    s.cardFile("card1", "top.bin", std::string(3000, 'x'));
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_GE(run.log.size(), 3u) << run.dump();
    EXPECT_TRUE(isVersionLine(run.log[0]));
    EXPECT_EQ("Clie Mode", run.log[1].text);
    EXPECT_EQ("Tarnwick", run.log.back().text) << run.dump();
    EXPECT_EQ(20, run.log.back().activity);
    EXPECT_TRUE(run.failures().empty()) << run.dump();

    std::string text;
    ASSERT_TRUE(ReadText(s.pc() + "\\MyCard\\Docs\\notes.txt", text)) << run.dump();
    EXPECT_EQ("notes from the card", text);
    ASSERT_TRUE(ReadText(s.pc() + "\\MyCard\\top.bin", text));
    EXPECT_EQ(3000u, text.size());
    EXPECT_TRUE(Exists(s.pc() + "\\MyCard.txt"));  // the location's state file
}

TEST(HotSync, CompanionListingNamesEveryBracketedLineIncludingTheEmptyName) {
    Scenario s("listing");
    s.deviceIni("[Device]\nCompanion=2\n[Volume1]\nPath=card1\nLabel=Card A\n");
    s.cardFile("card1", "memo.txt", "from card A");
    WriteText(s.device() + "\\listing.txt", "junk\n<Card A>\n/memo.txt\t3300000000 0 11\n<>\n<Card A>\n");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_GE(run.log.size(), 3u) << run.dump();
    EXPECT_EQ("Handera Mode", run.log[1].text);
    // Each listed name is taken in listing order: Card A (listed twice, so skipped), then
    // the empty name (which the card location refuses as a PC folder name, naming it in its
    // line).
    auto cardA = std::find_if(run.log.begin(), run.log.end(),
                              [](const LogLine& l) { return l.text.find("named Card A ") != std::string::npos; });
    ASSERT_NE(run.log.end(), cardA) << run.dump();
    auto unnamed = std::find_if(cardA, run.log.end(), [](const LogLine& l) {
        return l.text.size() >= 2 && l.text.compare(l.text.size() - 2, 2, ": ") == 0;
    });
    EXPECT_NE(run.log.end(), unnamed) << run.dump();
    for (const LogLine& l : run.log) EXPECT_EQ(std::string::npos, l.text.find("junk")) << l.text;
    // Two sections of one name: the companion cannot tell which card a request reaches, so
    // neither is touched, and the HotSync does not report success.
    EXPECT_EQ(0u, run.count("Card A: Location - " + s.pc() + "\\Card A")) << run.dump();
    EXPECT_TRUE(run.has("Error: more than one card is named Card A and the handheld cannot tell them apart, cards "
                        "skipped; give each card its own label")) << run.dump();
    EXPECT_FALSE(Exists(s.pc() + "\\Card A\\memo.txt")) << run.dump();
    EXPECT_EQ(kErrorsSummary, run.log.back().text) << run.dump();
}

TEST(HotSync, MissingTransferDatabaseExplainsItselfAndCountsAsAnError) {
    Scenario s("nolist");
    s.deviceIni("[Device]\nCompanion=3\n[Faults]\nf1=SmOpenDb name=TarnwickData result=0x7F11\n");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(6u, run.log.size()) << run.dump();
    EXPECT_TRUE(isVersionLine(run.log[0]));
    EXPECT_EQ("Handspring Mode", run.log[1].text);
    EXPECT_EQ("Error getting file list from the handheld", run.log[2].text);
    EXPECT_EQ("Make sure the Tarnwick application is installed on the handheld", run.log[3].text);
    EXPECT_EQ("If this is the first HotSync after installing Tarnwick this error should go away the next time you HotSync.",
              run.log[4].text);
    EXPECT_EQ(kErrorsSummary, run.log[5].text);
    EXPECT_EQ(16, run.log[5].activity);
    // The listing file lived in the temporary folder only for the session.
}

TEST(HotSync, AFailedVolumeDoesNotStopTheNext) {
    Scenario s("twovolumes");
    s.deviceIni("[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card1\nLabel=First\n[Volume2]\nPath=card2\nLabel=Second\n"
                "[Faults]\nf1=VFSFileGet name=/Tarnwick.txt nth=1 result=10763\n");
    s.cardFile("card1", "one.txt", "1");
    s.cardFile("card2", "two.txt", "2");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    EXPECT_FALSE(Exists(s.pc() + "\\First\\one.txt"));
    EXPECT_TRUE(Exists(s.pc() + "\\Second\\two.txt")) << run.dump();
    ASSERT_FALSE(run.log.empty());
    EXPECT_EQ(kErrorsSummary, run.log.back().text) << run.dump();
    EXPECT_EQ(16, run.log.back().activity);
}

TEST(HotSync, FirstVolumeEnumerationFailureEndsTheSessionWithItsStepCode) {
    Scenario s("enumerate");
    s.deviceIni(oneVolume("") + "[Faults]\nf1=VFSVolumeEnumerate nth=1 result=10753\n");
    s.cardFile("card1", "a.txt", "a");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(2u, run.log.size()) << run.dump();
    EXPECT_EQ("Error: 102:2a01", run.log[1].text);
    EXPECT_EQ(-1, run.log[1].activity);

    s.deviceIni(oneVolume("") + "[Faults]\nf1=VFSVolumeEnumerate nth=2 result=5\n");
    run = s.sync();
    ASSERT_EQ(2u, run.log.size()) << run.dump();
    EXPECT_EQ("Error: 101:5", run.log[1].text);
    EXPECT_FALSE(Exists(s.pc() + "\\MyCard\\a.txt"));
}

TEST(HotSync, CancelDuringTheFirstOfThreeVolumesLeavesTheOthersUntouched) {
    Scenario s("cancel");
    s.deviceIni("[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card1\nLabel=V1\n[Volume2]\nPath=card2\nLabel=V2\n"
                "[Volume3]\nPath=card3\nLabel=V3\n");
    for (int i = 0; i < 1500; ++i) s.cardFile("card1", "f" + std::to_string(i) + ".txt", std::string(200, 'a'));
    s.cardFile("card2", "two.txt", "2");
    s.cardFile("card3", "three.txt", "3");
    HotSyncRun run = s.sync("E2E User", 0, "--cancel-after 1500");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(1u, run.count(kCancelLine)) << run.dump();
    EXPECT_FALSE(run.has("Tarnwick")) << run.dump();
    EXPECT_FALSE(run.has(kErrorsSummary));
    EXPECT_FALSE(Exists(s.pc() + "\\V2"));
    EXPECT_FALSE(Exists(s.pc() + "\\V3"));
    // Cancelled part way: the first volume was being worked on, and not finished.
    size_t copied = FilesBelow(s.pc() + "\\V1").size();
    EXPECT_LT(copied, 1500u);
}

TEST(HotSync, RepeatedHotSyncsConverge) {
    Scenario s("converge");
    s.deviceIni(oneVolume("Companion=0\n"));
    int64_t old = Now() - 86400;
    s.cardFile("card1", "keep.txt", "unchanged", old);
    s.cardFile("card1", "card-edit.txt", "v1", old);
    s.cardFile("card1", "pc-edit.txt", "v1", old);
    s.cardFile("card1", "Folder\\inner.txt", "inner", old);
    HotSyncRun first = s.sync();
    ASSERT_EQ("Tarnwick", first.log.back().text) << first.dump();
    ASSERT_TRUE(Exists(s.pc() + "\\MyCard\\pc-edit.txt")) << first.dump();

    // Changes on both sides, each clearly newer than what the last HotSync saw.
    int64_t later = Now() + 60;
    s.cardFile("card1", "card-edit.txt", "v2 from the card", later);
    s.cardFile("card1", "card-new.txt", "new on the card", later);
    WriteText(s.pc() + "\\MyCard\\pc-edit.txt", "v2 from the PC", later);
    WriteText(s.pc() + "\\MyCard\\Folder\\pc-new.txt", "new on the PC", later);
    HotSyncRun second = s.sync();
    EXPECT_EQ("Tarnwick", second.log.back().text) << second.dump();
    EXPECT_FALSE(second.changes().empty()) << second.dump();

    std::string text;
    ASSERT_TRUE(ReadText(s.pc() + "\\MyCard\\card-edit.txt", text));
    EXPECT_EQ("v2 from the card", text);
    ASSERT_TRUE(ReadText(s.pc() + "\\MyCard\\card-new.txt", text));
    EXPECT_EQ("new on the card", text);
    ASSERT_TRUE(ReadText(s.device() + "\\card1\\pc-edit.txt", text));
    EXPECT_EQ("v2 from the PC", text);
    ASSERT_TRUE(ReadText(s.device() + "\\card1\\Folder\\pc-new.txt", text));
    EXPECT_EQ("new on the PC", text);

    HotSyncRun third = s.sync();
    EXPECT_EQ("Tarnwick", third.log.back().text) << third.dump();
    EXPECT_TRUE(third.changes().empty()) << third.dump();
    EXPECT_TRUE(third.failures().empty()) << third.dump();
    std::vector<std::string> pcFiles = FilesBelow(s.pc() + "\\MyCard");
    EXPECT_TRUE(contains(pcFiles, "Folder\\inner.txt"));
    EXPECT_TRUE(contains(pcFiles, "keep.txt"));
}

TEST(HotSync, RegistrationFailureIsTheResultAndNothingRuns) {
    Scenario s("register");
    s.deviceIni(oneVolume("Companion=1\n") + "[Faults]\nf1=SmRegisterConduit result=0x4321\n");
    s.cardFile("card1", "a.txt", "a");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0x4321, run.exitCode);
    EXPECT_TRUE(run.log.empty()) << run.dump();
    EXPECT_FALSE(Exists(s.pc()));
    EXPECT_EQ(std::string::npos, s.trace().find("SmUnregisterConduit"));

    // Do nothing never registers.
    s.deviceIni(oneVolume("Companion=1\n"));
    run = s.sync("E2E User", 6);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(std::string::npos, s.trace().find("SmRegisterConduit"));
}

TEST(HotSync, ConduitDatabaseStepAsksAboutTheUsersFolder) {
    Scenario s("conduitdb");
    s.deviceIni("[Device]\n[User1]\nFolder=" + s.root() + "\\User\n");
    SetIniValue(s.settingsFile(), "E2E User", "ConduitDB", "0");
    HotSyncRun run = s.sync();
    EXPECT_EQ("Tarnwick", run.log.back().text) << run.dump();
    std::string trace = s.trace();
    size_t user = trace.find("UdUserByFolder");
    ASSERT_NE(std::string::npos, user) << trace;
    // The user's folder is the PC folder without its last component.
    EXPECT_NE(std::string::npos, trace.find(s.root() + "\\User ", user)) << trace;
    EXPECT_NE(std::string::npos, trace.find("CmConduitCount")) << trace;

    // With the setting on (the default) the step does not run.
    SetIniValue(s.settingsFile(), "E2E User", "ConduitDB", "1");
    run = s.sync();
    EXPECT_EQ(std::string::npos, s.trace().find("UdUserByFolder"));
}

TEST(HotSync, SessionRunsToTheEndWithoutADisplay) {
    Scenario s("nodisplay");
    s.deviceIni(oneVolume("Companion=1\n"));
    s.cardFile("card1", "a.txt", "headless");
    s.withoutDisplay(true);
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_FALSE(run.log.empty());
    EXPECT_EQ("Tarnwick", run.log.back().text) << run.dump();
    EXPECT_TRUE(Exists(s.pc() + "\\MyCard\\a.txt"));
}

TEST(HotSync, MissingVfsLibraryEndsTheCardPhaseQuietly) {
    Scenario s("novfslib");
    s.deviceIni(oneVolume("Companion=1\n"));
    s.cardFile("card1", "a.txt", "a");
    s.withoutVfsLibrary();
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(3u, run.log.size()) << run.dump();
    EXPECT_EQ("Clie Mode", run.log[1].text);
    EXPECT_EQ("Tarnwick", run.log[2].text);
    EXPECT_EQ(20, run.log[2].activity);
    EXPECT_EQ(std::string::npos, s.trace().find("VFS")) << s.trace();
}

TEST(HotSync, AFailedFileCopyEndsWithTheErrorSummaryAndIsCarriedNextTime) {
    Scenario s("failedcopy");
    s.deviceIni(oneVolume("Companion=1\n") + "[Faults]\nf1=VFSFileGet name=/b.txt result=10763\n");
    s.cardFile("card1", "a.txt", "a");
    s.cardFile("card1", "b.txt", "b");
    HotSyncRun run = s.sync();
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(Exists(s.pc() + "\\MyCard\\a.txt")) << run.dump();
    EXPECT_FALSE(Exists(s.pc() + "\\MyCard\\b.txt"));
    ASSERT_FALSE(run.log.empty());
    EXPECT_EQ(kErrorsSummary, run.log.back().text) << run.dump();
    EXPECT_EQ(16, run.log.back().activity);

    s.deviceIni(oneVolume("Companion=1\n"));
    HotSyncRun again = s.sync();
    EXPECT_TRUE(Exists(s.pc() + "\\MyCard\\b.txt")) << again.dump();
    EXPECT_EQ("Tarnwick", again.log.back().text) << again.dump();
}

// Cards whose labels coincide (exactly, or but for case) or are no folder names each get a
// PC folder, a state file and settings keys of their own, the same ones at every HotSync.
TEST(HotSync, EveryCardGetsAFolderOfItsOwnAndKeepsIt) {
    for (bool companion : {false, true}) {
        Scenario s(companion ? "labels-companion" : "labels-vfs");
        // The companion reaches a card by its name, so only the VFS route can hold two
        // cards of one name.
        std::vector<std::string> labels = {"Card", "card", "Card.", "CON", "a:b"};
        if (!companion) labels.push_back("Card");
        std::string ini = std::string("[Device]\n") + (companion ? "Companion=2\n" : "Companion=0\nVfs=1\n");
        for (size_t i = 0; i < labels.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            ini += "[Volume" + n + "]\nPath=card" + n + "\nLabel=" + labels[i] + "\n";
            s.cardFile("card" + n, "id.txt", "card " + n);
        }
        s.deviceIni(ini);
        HotSyncRun first = s.sync();
        ASSERT_EQ("Tarnwick", first.log.back().text) << first.dump();
        EXPECT_TRUE(first.has("card: PC folder name card_2 (another card has this name)")) << first.dump();
        EXPECT_TRUE(first.has("CON: PC folder name CON_ (the label is no usable folder name)")) << first.dump();
        std::vector<std::string> found;
        for (const std::string& f : FilesBelow(s.pc())) {
            std::string text;
            if (f.size() > 7 && f.compare(f.size() - 7, 7, "\\id.txt") == 0 && ReadText(s.pc() + "\\" + f, text))
                found.push_back(text);
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> want;
        for (size_t i = 0; i < labels.size(); ++i) want.push_back("card " + std::to_string(i + 1));
        EXPECT_EQ(want, found) << first.dump();

        HotSyncRun second = s.sync();
        EXPECT_EQ("Tarnwick", second.log.back().text) << second.dump();
        EXPECT_TRUE(second.changes().empty()) << second.dump();
        EXPECT_TRUE(second.has("card: PC folder name card_2 (another card has this name)")) << second.dump();
    }
}

// Cards X and Y with one label, "Archive" off: X alone, then Y in slot 1 and X in slot 2,
// then back. The card that matches the label's records keeps its folder, the other is
// labelled with a key of its own; nothing of X reaches Y, nothing is deleted, nothing is
// copied twice. A card of that label alone that holds none of X's files gets no PC edit of X.
TEST(HotSync, CardsSharingALabelKeepTheirFoldersInAnySlot) {
    Scenario s("same-label");
    SetIniValue(s.settingsFile(), "E2E User", "Archive", "0");
    auto volumes = [&](const std::vector<std::pair<std::string, std::string>>& slots) {
        std::string ini = "[Device]\nCompanion=0\nVfs=1\n";
        for (size_t i = 0; i < slots.size(); ++i)
            ini += "[Volume" + std::to_string(i + 1) + "]\nPath=" + slots[i].first + "\nLabel=" + slots[i].second + "\n";
        s.deviceIni(ini);
    };
    const int64_t old = Now() - 86400;
    for (const char* name : {"x1.txt", "x2.txt", "x3.txt"}) s.cardFile("cardX", name, std::string("X ") + name, old);
    for (const char* name : {"y1.txt", "y2.txt"}) s.cardFile("cardY", name, std::string("Y ") + name, old);
    volumes({{"cardX", "Card A"}});
    ASSERT_EQ("Tarnwick", s.sync().log.back().text);
    WriteText(s.pc() + "\\Card A\\x1.txt", "X edited on the PC", Now() + 60);

    volumes({{"cardY", "Card A"}, {"cardX", "Card A"}});
    HotSyncRun both = s.sync();
    EXPECT_EQ("Tarnwick", both.log.back().text) << both.dump();
    EXPECT_TRUE(both.has("Setting Volume Label to: Card A_2")) << both.dump();
    EXPECT_EQ("Card A_2", IniValue(s.device() + "\\device.ini", "Volume1", "Label"));
    EXPECT_EQ(std::vector<std::string>({"y1.txt", "y2.txt"}), FilesBelow(s.device() + "\\cardY"));
    EXPECT_EQ(std::vector<std::string>({"y1.txt", "y2.txt"}), FilesBelow(s.pc() + "\\Card A_2"));
    EXPECT_EQ(std::vector<std::string>({"x1.txt", "x2.txt", "x3.txt"}), FilesBelow(s.pc() + "\\Card A"));
    std::string text;
    ASSERT_TRUE(ReadText(s.device() + "\\cardX\\x1.txt", text));
    EXPECT_EQ("X edited on the PC", text);

    volumes({{"cardX", "Card A"}, {"cardY", "Card A_2"}});
    HotSyncRun back = s.sync();
    EXPECT_EQ("Tarnwick", back.log.back().text) << back.dump();
    EXPECT_TRUE(back.changes().empty()) << back.dump();

    // Another card of X's label comes alone: X's PC copies are held, X's edit stays on the PC.
    WriteText(s.pc() + "\\Card A\\x2.txt", "X edited again", Now() + 120);
    s.cardFile("cardZ", "z.txt", "Z", old);
    volumes({{"cardZ", "Card A"}});
    HotSyncRun other = s.sync();
    EXPECT_TRUE(other.has("  /x2.txt: Changed on PC, kept on the PC only while the deletions on PC are held")) << other.dump();
    EXPECT_EQ(std::vector<std::string>({"z.txt"}), FilesBelow(s.device() + "\\cardZ"));
    EXPECT_TRUE(ReadText(s.pc() + "\\Card A\\x2.txt", text) && text == "X edited again") << other.dump();
    EXPECT_EQ(4u, FilesBelow(s.pc() + "\\Card A").size()) << other.dump();
}

// Settings edited by hand or skipped HotSyncs: lost card-key records are rebuilt from the
// folder records, a folder record that is no absolute folder is refused, and a one-time
// overwrite on a HotSync that "Frequency" would skip is carried out.
TEST(HotSync, HandEditedRecordsAndSkippedHotSyncsLoseNothing) {
    Scenario s("records");
    auto volumes = [&](const std::vector<std::string>& paths, const std::vector<std::string>& labels) {
        std::string ini = "[Device]\nCompanion=0\nVfs=1\n";
        for (size_t i = 0; i < paths.size(); ++i)
            ini += "[Volume" + std::to_string(i + 1) + "]\nPath=" + paths[i] + "\nLabel=" + labels[i] + "\n";
        s.deviceIni(ini);
    };
    volumes({"card1", "card2", "card3", "card4"}, {"Card A", "Card A", "card a", "Card B"});
    for (const char* card : {"card1", "card2", "card3", "card4"}) s.cardFile(card, "id.txt", card, Now() - 86400);
    ASSERT_EQ("Tarnwick", s.sync().log.back().text);
    const std::vector<std::string> folders = FilesBelow(s.pc());
    EXPECT_EQ(12u, folders.size());  // four folders, their id.txt and their state files
    WritePrivateProfileStringA("E2E User-CardKeys", nullptr, nullptr, s.settingsFile().c_str());
    // Slots in another order, so that "card a" comes first.
    const std::string second = IniValue(s.device() + "\\device.ini", "Volume2", "Label");
    volumes({"card3", "card2", "card1", "card4"}, {"card a", second, "Card A", "Card B"});
    HotSyncRun rebuilt = s.sync();
    EXPECT_EQ("Tarnwick", rebuilt.log.back().text) << rebuilt.dump();
    EXPECT_TRUE(rebuilt.changes().empty()) << rebuilt.dump();
    EXPECT_EQ(folders, FilesBelow(s.pc())) << rebuilt.dump();

    for (const char* junk : {"junk", "Sync\\Card B", "\\Card B", "C:Card B", ""}) {
        SetIniValue(s.settingsFile(), "E2E User-Directories", "Card B", junk);
        HotSyncRun refused = s.sync();
        EXPECT_TRUE(refused.has(std::string("Error: the PC folder recorded for Card B is no absolute folder, card skipped: \"") +
                                junk + "\"")) << refused.dump();
        EXPECT_EQ(kErrorsSummary, refused.log.back().text) << refused.dump();
        EXPECT_TRUE(refused.changes().empty()) << refused.dump();
    }
    SetIniValue(s.settingsFile(), "E2E User-Directories", "Card B", s.pc() + "\\Card B");

    SetIniValue(s.settingsFile(), "E2E User", "Frequency", "3");
    s.cardFile("card4", "new.txt", "new", Now() + 60);
    HotSyncRun skipped = s.sync();
    EXPECT_TRUE(skipped.has("Skipping Synchronize - Frequency set to Monthly")) << skipped.dump();
    EXPECT_TRUE(skipped.changes().empty()) << skipped.dump();
    // Where no deletion waits for its confirmation the frequency wins, and the log says so.
    HotSyncRun dropped = s.sync("E2E User", 2);
    EXPECT_TRUE(dropped.has("The action chosen for this HotSync is not carried out here")) << dropped.dump();
    EXPECT_TRUE(dropped.changes().empty()) << dropped.dump();
    SetIniValue(s.settingsFile(), "E2E User-HeldDeletions", "Card B", "PC");
    HotSyncRun once = s.sync("E2E User", 2);
    EXPECT_TRUE(once.has("Synchronizing although Frequency is set to Monthly: the action was chosen for this HotSync only"))
        << once.dump();
    EXPECT_TRUE(Exists(s.pc() + "\\Card B\\new.txt")) << once.dump();
}

// PC names outside the ANSI code page, and a name the card keeps to itself, stay on the PC
// with one line each at every HotSync; their neighbours synchronise, and a folder the card
// deleted that holds such a name settles in one HotSync. Names inside the code page (café
// from the card, Müller from the PC) go across.
TEST(HotSync, NamesKeptOnThePcLeaveTheirNeighboursAndFoldersAlone) {
    const std::wstring nihon = L"\u65E5\u672C.txt", chugoku = L"\u4E2D\u56FD.txt";
    const std::string kept = "Kept on the PC only, the name has characters outside the ANSI code page: ";
    const std::string reserved = "Kept on the PC only, the handheld reserves this name: /Upload/.tarnwick-upload";
    for (const bool companion : {false, true}) {
        SCOPED_TRACE(companion ? "companion route" : "VFS route");
        Scenario s(companion ? "pconly-companion" : "pconly-vfs");
        s.deviceIni(std::string("[Device]\n") + (companion ? "Companion=2\n" : "Companion=0\nVfs=1\n") +
                    "[Volume1]\nPath=card1\nLabel=MyCard\n");
        s.cardFile("card1", "Docs\\caf\xE9.txt", "from the card");
        for (const char* name : {"Gone\\x.txt", "Upload\\y.txt", "Back\\z.txt"}) s.cardFile("card1", name, "old");
        HotSyncRun first = s.sync();
        ASSERT_TRUE(first.failures().empty()) << first.dump();
        const std::string pc = s.pc() + "\\MyCard", card = s.device() + "\\card1";
        ASSERT_TRUE(Exists(pc + "\\Docs\\caf\xE9.txt")) << first.dump();

        WriteWide(pc + "\\Docs", nihon, "PC only");
        WriteWide(pc + "\\Docs", chugoku, "PC only");
        WriteText(pc + "\\Docs\\M\xFCller.txt", "from the PC");
        WriteWide(pc + "\\Gone", nihon, "PC only");
        WriteText(pc + "\\Upload\\.tarnwick-upload", "the user's");  // reserved on the companion route
        WriteWide(pc + "\\Back", nihon, "PC only");
        WriteText(pc + "\\Back\\new.txt", "made on the PC");
        for (const char* folder : {"Gone", "Upload", "Back"}) removeTree(card + "\\" + folder);

        std::vector<std::string> onCard = {"Back\\", "Back\\new.txt", "Docs\\", "Docs\\M\xFCller.txt", "Docs\\caf\xE9.txt"};
        if (!companion) onCard.insert(onCard.end(), {"Upload\\", "Upload\\.tarnwick-upload"});
        std::sort(onCard.begin(), onCard.end());
        for (int round = 2; round <= 3; ++round) {
            SCOPED_TRACE("HotSync " + std::to_string(round));
            HotSyncRun run = s.sync();
            EXPECT_TRUE(run.failures().empty()) << run.dump();
            EXPECT_EQ("Tarnwick", run.log.back().text) << run.dump();
            if (round == 3) {
                EXPECT_TRUE(run.changes().empty()) << run.dump();
            }
            for (const char* name : {"/Docs/<U+65E5><U+672C>.txt", "/Docs/<U+4E2D><U+56FD>.txt",
                                     "/Gone/<U+65E5><U+672C>.txt", "/Back/<U+65E5><U+672C>.txt"})
                EXPECT_EQ(1u, run.count(kept + name)) << run.dump();
            EXPECT_EQ(companion ? 1u : 0u, run.count(reserved)) << run.dump();
            EXPECT_EQ(onCard, FilesBelow(card));
            EXPECT_TRUE(ExistsWide(pc + "\\Docs", nihon) && ExistsWide(pc + "\\Docs", chugoku));
            EXPECT_TRUE(ExistsWide(pc + "\\Gone", nihon) && ExistsWide(pc + "\\Back", nihon));
            EXPECT_TRUE(Exists(pc + "\\Upload\\.tarnwick-upload"));
            for (const char* gone : {"\\Gone\\x.txt", "\\Upload\\y.txt", "\\Back\\z.txt"}) EXPECT_FALSE(Exists(pc + gone));
        }
    }
}

// Names Windows keeps for its devices are plain names on a card (which may hold the only
// copy): mirrored, archived when the card deletes them, conflict-copied and sent back, on
// both card routes.
TEST(HotSync, DeviceNamesAreFilesLikeAnyOther) {
    for (const bool companion : {false, true}) {
        SCOPED_TRACE(companion ? "companion route" : "VFS route");
        Scenario s(companion ? "devices-companion" : "devices-vfs");
        s.deviceIni(std::string("[Device]\n") + (companion ? "Companion=2\n" : "Companion=0\nVfs=1\n") +
                    "[Volume1]\nPath=card1\nLabel=MyCard\n");
        const std::string card = s.device() + "\\card1", pc = s.pc() + "\\MyCard";
        const int64_t t0 = Now() - 3600;
        for (const wchar_t* name : {L"aux.txt", L"con.txt", L"nul", L"Con\\x.txt", L"com1.log"}) WriteLong(card, name, "card", t0);
        HotSyncRun first = s.sync();
        EXPECT_EQ("Tarnwick", first.log.back().text) << first.dump();
        EXPECT_EQ((std::vector<std::wstring>{L"Con\\", L"Con\\x.txt", L"aux.txt", L"com1.log", L"con.txt", L"nul"}), LongFilesBelow(pc));

        // The card deletes one, both sides change another, the PC changes one and makes one.
        RemoveLong(card, L"aux.txt");
        WriteLong(card, L"con.txt", "card 2", t0 + 100);
        WriteLong(pc, L"con.txt", "pc 2", t0 + 200);
        WriteLong(pc, L"nul", "pc 2", t0 + 200);
        WriteLong(pc, L"Con\\prn.txt", "pc new", t0 + 200);
        HotSyncRun second = s.sync();
        EXPECT_EQ("Tarnwick", second.log.back().text) << second.dump();
        const std::vector<std::wstring> both = {L"Con\\", L"Con\\prn.txt", L"Con\\x.txt", L"com1.log", L"con.txt", L"con_2.txt", L"nul"};
        EXPECT_EQ(both, LongFilesBelow(pc)) << second.dump();
        EXPECT_EQ(both, LongFilesBelow(card)) << second.dump();
        const std::pair<const wchar_t*, const char*> contents[] = {
            {L"con.txt", "card 2"}, {L"con_2.txt", "pc 2"}, {L"nul", "pc 2"}, {L"Con\\prn.txt", "pc new"}};
        for (const auto& c : contents) {
            std::string onPc, onCard;
            EXPECT_TRUE(ReadLong(pc, c.first, onPc) && ReadLong(card, c.first, onCard));
            EXPECT_EQ(c.second, onPc);
            EXPECT_EQ(c.second, onCard);
        }
        std::string archived;
        EXPECT_TRUE(ReadLong(s.root() + "\\User\\Archive\\Tarnwick\\MyCard", L"aux.txt", archived));
        EXPECT_EQ("card", archived);
        HotSyncRun third = s.sync();
        EXPECT_TRUE(third.changes().empty()) << third.dump();
        EXPECT_EQ("Tarnwick", third.log.back().text) << third.dump();
    }
}

// In a code page of two-byte characters a trail byte may look like a letter (ア is 83 41,
// ヂ 83 61) or like "\" (表 95 5C, ソ 83 5C, 能 94 5C, 予 97 5C): such names stay apart,
// arrive whole both ways and a deletion takes only its own file, on both card routes.
// Runs as e2e_test_cp932, whose wine takes code page 932 from its locale.
TEST(HotSyncCp932, TwoByteNamesStayApartAndWhole) {
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932 (LC_ALL=ja_JP.UTF-8)";
    const std::wstring a = L"\u30A2.txt", di = L"\u30C2.txt", i = L"\u30A3.txt", tsu = L"\u30C3.txt", o = L"\u30A9.txt",
                       doh = L"\u30C9.txt", hyo = L"\u8868.txt", so = L"\u30BD\\", noh = L"\u80FD\\", yo = L"\u4E88.txt",
                       po = L"\u30DD.txt";  // 83 7C: the second byte reads as the companion's "|"
    for (const bool companion : {false, true}) {
        SCOPED_TRACE(companion ? "companion route" : "VFS route");
        Scenario s(companion ? "cp932-companion" : "cp932-vfs");
        s.deviceIni(std::string("[Device]\n") + (companion ? "Companion=2\n" : "Companion=0\nVfs=1\n") +
                    "[Volume1]\nPath=card1\nLabel=MyCard\nCodePage=932\n");
        const std::string card = s.device() + "\\card1", pc = s.pc() + "\\MyCard";
        const int64_t t0 = Now() - 3600;
        for (const std::wstring& name : {a, di, i, tsu, hyo, po, so + noh.substr(0, 1) + L".txt"}) WriteLong(card, name, "card " + std::to_string(name[0]), t0);
        HotSyncRun first = s.sync();
        EXPECT_EQ("Tarnwick", first.log.back().text) << first.dump();
        EXPECT_EQ(LongFilesBelow(card), LongFilesBelow(pc)) << first.dump();
        EXPECT_EQ(8u, LongFilesBelow(pc).size()) << first.dump();

        // The card deletes ヂ, the PC deletes ィ and makes ォ and ド (whose trail bytes are
        // "H" and "h"), 予 and 能\表.
        RemoveLong(card, di);
        RemoveLong(pc, i);
        for (const std::wstring& name : {o, doh, yo, noh + hyo}) WriteLong(pc, name, "pc", t0 + 200);
        HotSyncRun second = s.sync();
        EXPECT_EQ("Tarnwick", second.log.back().text) << second.dump();
        std::vector<std::wstring> both = {a, tsu, o, doh, hyo, yo, po, so, so + noh.substr(0, 1) + L".txt", noh, noh + hyo};
        std::sort(both.begin(), both.end());
        EXPECT_EQ(both, LongFilesBelow(pc)) << second.dump();
        EXPECT_EQ(both, LongFilesBelow(card)) << second.dump();
        std::string text;
        EXPECT_TRUE(ReadLong(pc, a, text));
        EXPECT_EQ("card " + std::to_string(a[0]), text);
        HotSyncRun third = s.sync();
        EXPECT_TRUE(third.changes().empty()) << third.dump();
    }
}
