// Both card routes against the simulated handheld: the same card, once reached through
// the companion application and once through the VFS library.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <functional>
#include <memory>
#include "CardTestSupport.h"
#include "StandinDevice.h"
#include "card/RemoteCardLocation.h"
#include "card/VfsCardLocation.h"

namespace {

const char kDeviceIni[] =
    "[Device]\nCompanion=2\nVfs=1\n"
    "[Volume1]\nPath=card1\nLabel=Card\n";

enum class Route { Remote, Vfs };

std::unique_ptr<HandheldLocation> makeLocation(Workspace& w, Route route) {
    if (route == Route::Remote) {
        EXPECT_TRUE(w.fetchListing());
        return std::make_unique<RemoteCardLocation>(&w.context, "Card", w.listingPath());
    }
    VfsLibrary library;
    uint16_t count = 1;
    VfsVolume volumes[1] = {0};
    EXPECT_EQ(0, library.VolumeEnumerate(&count, volumes));
    return std::make_unique<VfsCardLocation>(&w.context, volumes[0]);
}

// One HotSync of the card by the given route; faults are added once the device is loaded.
// Whatever the test looks at in the trace it reads through `inspect`, before the device goes.
bool hotSync(Workspace& w, Route route, const std::vector<std::string>& faults = {},
             const std::function<void()>& inspect = nullptr) {
    EXPECT_EQ(0, w.load());
    for (const std::string& f : faults) EXPECT_EQ(0, StandinFaultAdd(f.c_str())) << f;
    bool ok = makeLocation(w, route)->synchronise();
    if (inspect) inspect();
    w.unload();
    return ok;
}

size_t countContaining(const std::vector<std::string>& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class CardRoute : public ::testing::TestWithParam<Route> {
protected:
    Workspace w{kDeviceIni};
    std::string card(const std::string& name) const { return w.device("card1" + name); }
    std::string pc(const std::string& name) const { return w.pc("Card" + name); }
    // Nothing moved: no copy lines and no content requests beyond the listing.
    void expectQuietRun() {
        std::vector<std::string> remote, gets, puts;
        EXPECT_TRUE(hotSync(w, GetParam(), {}, [&] {
            remote = traceOf("SyncCallRemoteModule");
            gets = traceOf("VFSFileGet");
            puts = traceOf("VFSFilePut");
        }));
        EXPECT_FALSE(logContains("Copied"));
        EXPECT_FALSE(logContains("Deleted"));
        EXPECT_EQ(0u, countContaining(remote, "request=2 ") + countContaining(remote, "request=3 "));
        EXPECT_EQ(GetParam() == Route::Vfs ? 1u : 0u, gets.size());  // the card listing file
        EXPECT_TRUE(puts.empty());
    }
};

TEST_P(CardRoute, NestedFoldersMirrorBothWaysAndASecondRunMovesNothing) {
    writeFile(card("/Docs/a.txt"), "alpha");
    writeFile(card("/Docs/Deep/b.txt"), "beta");
    writeFile(card("/top.txt"), "top");
    writeFile(card("/MEMSTICK.IND"), "index");
    writeFile(pc("/FromPc/Inner/c.txt"), "gamma");

    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_EQ("alpha", readFile(pc("/Docs/a.txt")));
    EXPECT_EQ("beta", readFile(pc("/Docs/Deep/b.txt")));
    EXPECT_EQ("top", readFile(pc("/top.txt")));
    EXPECT_EQ("gamma", readFile(card("/FromPc/Inner/c.txt")));
    EXPECT_TRUE(logHas("  /Docs/Deep/b.txt: Copied from Palm to PC"));
    EXPECT_TRUE(logHas("  /FromPc/Inner/c.txt: Copied from PC to Palm"));
    EXPECT_TRUE(logHas("Card: Location - " + w.pcRoot() + "Card"));
    if (GetParam() == Route::Vfs) {
        EXPECT_FALSE(exists(pc("/MEMSTICK.IND")));
    }

    expectQuietRun();
}

TEST_P(CardRoute, ChangesConflictsAndDeletionsAreCarriedOverWithArchiveCopies) {
    for (const char* name : {"/top.txt", "/Docs/a.txt", "/Docs/b.txt", "/Docs/c.txt", "/gone-on-card.txt", "/gone-on-pc.txt"})
        writeFile(card(name), std::string("first ") + name);
    ASSERT_TRUE(hotSync(w, GetParam()));

    writeFile(card("/top.txt"), "changed on the card");
    setMtime(card("/top.txt"), mtime(card("/top.txt")) + 500);
    writeFile(pc("/Docs/a.txt"), "changed on the PC");
    setMtime(pc("/Docs/a.txt"), mtime(pc("/Docs/a.txt")) + 500);
    // Both changed; the PC moved further, so the PC copy steps aside as b_2.txt.
    int64_t cardTime = mtime(card("/Docs/b.txt")), pcTime = mtime(pc("/Docs/b.txt"));
    writeFile(card("/Docs/b.txt"), "card version");
    setMtime(card("/Docs/b.txt"), cardTime + 10);
    writeFile(pc("/Docs/b.txt"), "pc version");
    setMtime(pc("/Docs/b.txt"), pcTime + 20);
    // Here the card moved further: its copy is renamed on the card and fetched as c_2.txt.
    cardTime = mtime(card("/Docs/c.txt"));
    pcTime = mtime(pc("/Docs/c.txt"));
    writeFile(card("/Docs/c.txt"), "card version of c");
    setMtime(card("/Docs/c.txt"), cardTime + 20);
    writeFile(pc("/Docs/c.txt"), "pc version of c");
    setMtime(pc("/Docs/c.txt"), pcTime + 10);
    removeFile(card("/gone-on-card.txt"));
    removeFile(pc("/gone-on-pc.txt"));

    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_EQ("changed on the card", readFile(pc("/top.txt")));
    EXPECT_EQ("changed on the PC", readFile(card("/Docs/a.txt")));
    for (const auto& side : {card("/Docs/b.txt"), pc("/Docs/b.txt")}) EXPECT_EQ("card version", readFile(side));
    for (const auto& side : {card("/Docs/b_2.txt"), pc("/Docs/b_2.txt")}) EXPECT_EQ("pc version", readFile(side));
    EXPECT_TRUE(logHas("Conflict: /Docs/b.txt modified on both Palm and PC"));
    for (const auto& side : {card("/Docs/c.txt"), pc("/Docs/c.txt")}) EXPECT_EQ("pc version of c", readFile(side));
    for (const auto& side : {card("/Docs/c_2.txt"), pc("/Docs/c_2.txt")})
        EXPECT_EQ("card version of c", readFile(side));
    EXPECT_TRUE(logHas("  /Docs/c.txt: Renamed on Palm --> /Docs/c_2.txt"));

    EXPECT_FALSE(exists(pc("/gone-on-card.txt")));
    EXPECT_EQ("first /gone-on-card.txt", readFile(w.archive("Card") + "\\gone-on-card.txt"));
    EXPECT_FALSE(exists(card("/gone-on-pc.txt")));
    EXPECT_EQ("first /gone-on-pc.txt", readFile(w.archive("Card") + "\\gone-on-pc.txt"));
    EXPECT_TRUE(logHas("  /gone-on-pc.txt: Archived"));
    EXPECT_TRUE(logHas("  /gone-on-pc.txt: Deleted on Palm"));

    expectQuietRun();
}

// Histories that once lost a user's file or never settled: an edit against a deletion on
// either side, a rename in case only, a conflict beside an earlier conflict copy, two
// archived files of one base name, a folder deleted on the PC while the card added to it,
// and dot names with a staging file a killed HotSync left.
TEST_P(CardRoute, EditsRenamesAndEarlierCopiesOutliveDeletionsAndSettle) {
    for (const char* name : {"/edited-on-pc.txt", "/edited-on-card.txt", "/Docs/Notes.txt", "/f.txt", "/f_2.txt",
                             "/A/readme.txt", "/B/readme.txt", "/Folder/old.txt", "/.profile"})
        writeFile(card(name), std::string("first ") + name);
    ASSERT_TRUE(hotSync(w, GetParam()));
    ASSERT_EQ("first /.profile", readFile(pc("/.profile")));

    const auto edit = [](const std::string& path, const std::string& bytes, int64_t later) {
        const int64_t before = mtime(path);
        writeFile(path, bytes);
        setMtime(path, before + later);
    };
    removeFile(card("/edited-on-pc.txt"));
    edit(pc("/edited-on-pc.txt"), "edited on the PC", 500);
    removeFile(pc("/edited-on-card.txt"));
    edit(card("/edited-on-card.txt"), "edited on the card", 500);
    // Through another name: wine takes a rename in case only for a rename onto itself.
    ASSERT_TRUE(MoveFileA(pc("/Docs/Notes.txt").c_str(), pc("/Docs/moving").c_str()));
    ASSERT_TRUE(MoveFileA(pc("/Docs/moving").c_str(), pc("/Docs/NOTES.txt").c_str()));
    edit(card("/f.txt"), "card version", 10);
    edit(pc("/f.txt"), "pc version", 20);
    removeFile(pc("/A/readme.txt"));
    removeFile(pc("/B/readme.txt"));
    removeFile(pc("/Folder/old.txt"));
    ASSERT_TRUE(RemoveDirectoryA(pc("/Folder").c_str()));
    writeFile(card("/Folder/new.txt"), "new on the card");
    writeFile(card("/Docs/.tarnwick-upload"), "the first slices of a killed HotSync");
    edit(pc("/.profile"), "edited on the PC", 500);

    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_FALSE(logContains("Could not"));
    for (const auto& side : {card(""), pc("")}) {
        SCOPED_TRACE(side);
        EXPECT_EQ("edited on the PC", readFile(side + "\\edited-on-pc.txt"));
        EXPECT_EQ("edited on the card", readFile(side + "\\edited-on-card.txt"));
        EXPECT_EQ("first /Docs/Notes.txt", readFile(side + "\\Docs\\Notes.txt"));
        EXPECT_EQ("card version", readFile(side + "\\f.txt"));
        EXPECT_EQ("first /f_2.txt", readFile(side + "\\f_2.txt"));
        EXPECT_EQ("pc version", readFile(side + "\\f_3.txt"));
        EXPECT_EQ("new on the card", readFile(side + "\\Folder\\new.txt"));
        EXPECT_FALSE(exists(side + "\\Folder\\old.txt"));
        EXPECT_FALSE(exists(side + "\\A\\readme.txt"));
        EXPECT_EQ("edited on the PC", readFile(side + "\\.profile"));
        // Only the companion route sends under that name; to the other it is a user's file.
        EXPECT_EQ(GetParam() == Route::Vfs, exists(side + "\\Docs\\.tarnwick-upload"));
    }
    for (const char* folder : {"A", "B"})
        EXPECT_EQ(std::string("first /") + folder + "/readme.txt",
                  readFile(w.archive("Card") + "\\" + folder + "\\readme.txt"));
    expectQuietRun();
}

TEST_P(CardRoute, FilesLargerThanFiveMegabytesArriveByteIdentical) {
    const std::string fromCard = patterned(5 * 1024 * 1024 + 777, 1);
    const std::string fromPc = patterned(5 * 1024 * 1024 + 4321, 2);
    writeFile(card("/big/card.bin"), fromCard);
    writeFile(pc("/big/pc.bin"), fromPc);
    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_TRUE(readFile(pc("/big/card.bin")) == fromCard);
    EXPECT_TRUE(readFile(card("/big/pc.bin")) == fromPc);
}

TEST_P(CardRoute, AFetchThatBreaksOffLeavesThePcCopyAsItWas) {
    const std::string before = patterned(300000, 3);
    writeFile(card("/doc.bin"), before);
    ASSERT_TRUE(hotSync(w, GetParam()));
    ASSERT_TRUE(readFile(pc("/doc.bin")) == before);

    writeFile(card("/doc.bin"), patterned(300000, 4));
    setMtime(card("/doc.bin"), mtime(card("/doc.bin")) + 100);
    // The second slice of the companion route, or the single copy of the VFS route.
    std::vector<std::string> fault = {GetParam() == Route::Remote ? "SyncCallRemoteModule name=2 nth=2 result=5"
                                                                  : "VFSFileGet name=/doc.bin result=5"};
    EXPECT_TRUE(hotSync(w, GetParam(), fault));
    EXPECT_TRUE(readFile(pc("/doc.bin")) == before);
    EXPECT_TRUE(logContains("Could not copy file from Palm to PC"));
    EXPECT_FALSE(logContains("  /doc.bin: Copied"));
    // No staged leftovers (the companion's own card listing file is a card file like any other).
    std::vector<std::string> files = filesBelow(pc(""));
    files.erase(std::remove(files.begin(), files.end(), "/Tarnwick.txt"), files.end());
    EXPECT_EQ(std::vector<std::string>{"/doc.bin"}, files);
}

TEST_P(CardRoute, AFolderRecordedWithATrailingBackslashIsTheSameFolder) {
    w.settings.setDirectoryOf("Tester", "Card", w.pcRoot() + "Card\\");
    writeFile(card("/Docs/a.txt"), "card's");
    writeFile(pc("/Docs/a.txt"), "pc's");
    writeFile(pc("/only-pc.txt"), "pc");
    ASSERT_TRUE(hotSync(w, GetParam()));
    // Both versions kept, the PC's own file sent under its own name.
    EXPECT_TRUE(logHas("Conflict: /Docs/a.txt modified on both Palm and PC")) << ::testing::PrintToString(logLines());
    EXPECT_EQ("pc", readFile(card("/only-pc.txt")));
    for (const std::string& side : {card("/Docs/"), pc("/Docs/")}) {
        std::string both = readFile(side + "a.txt") + "+" + readFile(side + "a_2.txt");
        EXPECT_TRUE(both == "card's+pc's" || both == "pc's+card's") << side << ": " << both;
    }
    expectQuietRun();
}

// PC files whose paths are longer than the ANSI file functions take, read and written
// here through the wide functions so the test does not share the conduit's helpers.
std::wstring longForm(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }
// Written with a time ahead of the clock by `ahead` seconds, so a rewrite always counts as a change.
void writeLong(const std::string& path, const std::string& bytes, int ahead = 0) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryW(longForm(path.substr(0, at)).c_str(), nullptr);
    HANDLE h = CreateFileW(longForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart += static_cast<uint64_t>(ahead) * 10000000u;
    now = {t.LowPart, t.HighPart};
    SetFileTime(h, nullptr, nullptr, &now);
    CloseHandle(h);
}
std::string readLong(const std::string& path) {
    HANDLE h = CreateFileW(longForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    ReadFile(h, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(h);
    return std::string(buffer, got);
}

TEST_P(CardRoute, PcPathsLongerThan260CharactersWorkBothWays) {
    const std::string folder = w.pcRoot() + "Card\\" + std::string(60, 'p');
    w.settings.setDirectoryOf("Tester", "Card", folder);
    const std::string deep = "/" + std::string(60, 'a') + "/" + std::string(60, 'b') + "/" + std::string(60, 'c');
    auto pcLong = [&](const std::string& name) { return folder + hostPath(name); };
    writeFile(card(deep + "/card.txt"), "from the card");
    writeFile(card(deep + "/gone.txt"), "deleted on the card later");
    writeLong(pcLong(deep + "/pc.txt"), "from the PC");
    ASSERT_GT(pcLong(deep + "/card.txt").size(), 280u);

    ASSERT_TRUE(hotSync(w, GetParam())) << ::testing::PrintToString(logLines());
    EXPECT_FALSE(logContains("Could not")) << ::testing::PrintToString(logLines());
    EXPECT_EQ("from the card", readLong(pcLong(deep + "/card.txt")));
    EXPECT_EQ("from the PC", readFile(card(deep + "/pc.txt")));
    expectQuietRun();

    removeFile(card(deep + "/gone.txt"));
    writeLong(pcLong(deep + "/pc.txt"), "changed on the PC", 500);
    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_EQ("<missing>", readLong(pcLong(deep + "/gone.txt")));
    // The archive keeps the card's folders, so its copy is as deep as the PC's was.
    EXPECT_EQ("deleted on the card later", readLong(w.archive("Card") + hostPath(deep + "/gone.txt")));
    EXPECT_EQ("changed on the PC", readFile(card(deep + "/pc.txt")));
}

// A card listing in which the line of /keep.txt cannot be read (cut short, garbled, a
// header cut short) is no listing: the card fails as a missing listing does, and nothing
// is deleted on either side for a file the damage took out of it.
TEST_P(CardRoute, AListingWithALineThatCannotBeReadDeletesNothing) {
    writeFile(card("/a.txt"), "a");
    writeFile(card("/keep.txt"), "kept");
    ASSERT_TRUE(hotSync(w, GetParam()));
    const bool remote = GetParam() == Route::Remote;
    const std::vector<std::string> damaged =
        remote ? std::vector<std::string>{"/keep.txt 3700000000 0 4\n", "/keep.txt\t3700000000 0\n",
                                          "/keep.txt\t3700000000 x 4\n", "/keep.txt\t99999999999 0 4\n",
                                          "/" + std::string(600, 'k') + "\t3700000000 0 4\n", "<Other\n",
                                          "/keep.txt\t37"}
               : std::vector<std::string>{"/keep.t", "/keep.txt"};
    for (const std::string& line : damaged) {
        if (remote)
            writeFile(w.device("listing.txt"), "<Card>\n/a.txt\t3700000000 0 1\n" + line);
        else
            writeFile(card("/Tarnwick.txt"), "/a.txt\n" + line);
        EXPECT_FALSE(hotSync(w, GetParam())) << line;
        EXPECT_TRUE(logHas(remote ? "Error getting file list from the handheld(0)" : "Error getting VFS file list(0)")) << line;
        EXPECT_TRUE(logContains("Error: unreadable line in the file list from the handheld: ")) << line;
        EXPECT_FALSE(logContains("Deleted")) << line;
        EXPECT_EQ("kept", readFile(pc("/keep.txt"))) << line;
        EXPECT_EQ("kept", readFile(card("/keep.txt"))) << line;
    }
    removeFile(w.device("listing.txt"));
    expectQuietRun();
}

// What a HotSync killed while replacing card files leaves: /a.txt set aside with its new
// copy not yet in place, /b.txt in place with its old copy still aside. The old copy of
// /a.txt goes back (and, while it cannot, /a.txt is not deleted on the PC); the stale
// copy of /b.txt goes.
TEST_P(CardRoute, OldCopiesSetAsideByAKilledHotSyncGoBackOrGo) {
    writeFile(card("/Docs/a.txt"), "a");
    writeFile(card("/Docs/b.txt"), "b new");
    ASSERT_TRUE(hotSync(w, GetParam()));
    removeFile(card("/Docs/a.txt"));
    writeFile(card("/Docs/.tarnwick-old-a.txt"), "a");
    writeFile(card("/Docs/.tarnwick-old-b.txt"), "b old");
    const bool remote = GetParam() == Route::Remote;
    if (!remote) {  // this route sets nothing aside: names of that form are the user's
        ASSERT_TRUE(hotSync(w, GetParam()));
        EXPECT_EQ("a", readFile(pc("/Docs/.tarnwick-old-a.txt")));
        EXPECT_EQ("b old", readFile(pc("/Docs/.tarnwick-old-b.txt")));
        expectQuietRun();
        return;
    }
    EXPECT_TRUE(hotSync(w, GetParam(), {remote ? "SyncCallRemoteModule name=8 result=5" : "VFSFileRename result=1"}));
    EXPECT_TRUE(logHas("Could not restore Palm File: /Docs/a.txt"));
    EXPECT_FALSE(logContains("Deleted"));
    EXPECT_EQ("a", readFile(pc("/Docs/a.txt")));

    ASSERT_TRUE(hotSync(w, GetParam()));
    EXPECT_TRUE(logHas("  /Docs/a.txt: Restored on Palm"));
    EXPECT_EQ("a", readFile(card("/Docs/a.txt")));
    EXPECT_EQ("a", readFile(pc("/Docs/a.txt")));
    EXPECT_EQ("b new", readFile(pc("/Docs/b.txt")));
    EXPECT_EQ(std::vector<std::string>({"/Docs/a.txt", "/Docs/b.txt"}), filesBelow(w.device("card1")));
    expectQuietRun();
}

INSTANTIATE_TEST_SUITE_P(BothRoutes, CardRoute, ::testing::Values(Route::Remote, Route::Vfs),
                         [](const ::testing::TestParamInfo<Route>& info) {
                             return info.param == Route::Remote ? std::string("Companion") : std::string("Vfs");
                         });

}  // namespace
