// The companion-application route: requests, slices and what it accepts from the listing.
#include <gtest/gtest.h>
#include <algorithm>
#include <windows.h>
#include "CardTestSupport.h"
#include "StandinDevice.h"
#include "card/RemoteCardLocation.h"
#include "mainmemory/DatabaseImage.h"

namespace {

std::string deviceIni(const std::string& extra = "") {
    return "[Device]\nCompanion=2\n" + extra + "[Volume1]\nPath=card1\nLabel=Card\n";
}

std::vector<std::string> requests(int code) {
    std::vector<std::string> out;
    const std::string tag = "request=" + std::to_string(code) + " ";
    for (const std::string& args : traceOf("SyncCallRemoteModule"))
        if (args.find(tag) != std::string::npos) out.push_back(args);
    return out;
}

// Every companion request since the load as "code param-after-the-card-name", in order,
// leaving out the transfer-database calls around them.
std::vector<std::string> requestsAbout(const std::string& part) {
    std::vector<std::string> out;
    for (const std::string& args : traceOf("SyncCallRemoteModule")) {
        const size_t code = args.find("request="), param = args.find("param=");
        if (code == std::string::npos || param == std::string::npos) continue;
        const std::string text = args.substr(param + 6, args.find('\t', param) - param - 6);
        if (text.find(part) == std::string::npos) continue;
        const size_t bar = text.find('|');
        out.push_back(args.substr(code + 8, args.find(' ', code) - code - 8) + " " +
                      (bar == std::string::npos ? std::string() : text.substr(bar + 1)));
    }
    return out;
}

std::vector<std::string> sortedFilesBelow(const std::string& folder) {
    std::vector<std::string> files = filesBelow(folder);
    std::sort(files.begin(), files.end());
    return files;
}

bool anyEndsWith(const std::vector<std::string>& lines, const std::string& param) {
    for (const std::string& l : lines)
        if (l.find("param=" + param) != std::string::npos) return true;
    return false;
}

// One HotSync of the card through the companion route, with the given faults in force;
// failures, when given, receives the count of failed operations.
bool syncOnce(Workspace& w, const std::vector<std::string>& faults, uint32_t* failures = nullptr) {
    EXPECT_EQ(0, w.load());
    for (const std::string& f : faults) EXPECT_EQ(0, StandinFaultAdd(f.c_str()));
    EXPECT_TRUE(w.fetchListing());
    bool ok;
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ok = location.synchronise();
        if (failures) *failures = location.failedOperations();
    }
    w.unload();
    return ok;
}

TEST(RemoteCard, SliceSizeFollowsTheHandheldsFigure) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"65536", 58368}, {"1000", 1024}, {"0", 131072}, {"200000", 131072}};
    for (const auto& c : cases) {
        Workspace w(deviceIni(std::string("SliceFigure=") + c.first + "\n"));
        ASSERT_EQ(0, w.load());
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        EXPECT_EQ(c.second, location.sliceSize()) << c.first;
        ASSERT_EQ(1u, requests(9).size());
        EXPECT_TRUE(anyEndsWith(requests(9), "Card")) << requests(9)[0];
    }
}

TEST(RemoteCard, FilesMoveInSlicesThatEachCarryTheirOwnBytes) {
    Workspace w(deviceIni("SliceFigure=131072\n"));
    const std::string down = patterned(300000, 7), up = patterned(300000, 8);
    writeFile(w.device("card1/down.bin"), down);
    writeFile(w.pc("Card/up.bin"), up);
    ASSERT_EQ(0, w.load());
    ASSERT_TRUE(w.fetchListing());
    std::vector<std::string> fetches, sends;
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ASSERT_TRUE(location.synchronise());
        for (const std::string& f : requests(2))
            if (f.find("/down.bin") != std::string::npos) fetches.push_back(f);
        sends = requests(3);
    }
    w.unload();
    ASSERT_EQ(3u, fetches.size());
    EXPECT_TRUE(anyEndsWith(fetches, "Card|/down.bin|0|131072"));
    EXPECT_TRUE(anyEndsWith(fetches, "Card|/down.bin|131072|131072"));
    EXPECT_TRUE(anyEndsWith(fetches, "Card|/down.bin|262144|131072"));
    ASSERT_EQ(3u, sends.size());
    EXPECT_NE(std::string::npos, sends[0].find("param=Card|/.tarnwick-upload"));
    EXPECT_NE(std::string::npos, sends[1].find("param=Card|*/.tarnwick-upload"));
    EXPECT_NE(std::string::npos, sends[2].find("param=Card|*/.tarnwick-upload"));
    EXPECT_TRUE(readFile(w.pc("Card/down.bin")) == down);
    EXPECT_TRUE(readFile(w.device("card1/up.bin")) == up);
}

TEST(RemoteCard, ATransferDatabaseLeftOnTheHandheldIsNotSentAlong) {
    Workspace w(deviceIni("SliceFigure=131072\n"));
    const std::string up = patterned(200000, 9);
    writeFile(w.pc("Card/up.bin"), up);
    writeFile(w.root() + "\\stale.bin", "records of an earlier transfer");
    ASSERT_EQ(0, w.load());
    DatabaseImage stale;
    ASSERT_TRUE(stale.loadFileSlice(w.root() + "\\stale.bin", "TarnwickData", 0x546E776B, 0x64617461, 0, 0));
    ASSERT_TRUE(stale.writeToHandheld("TarnwickData"));
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        FileEntry& entry = location.entries()["/up.bin"];
        ASSERT_TRUE(location.copyToHandheld("/up.bin", entry));
        EXPECT_NE(0u, entry.handheldTime);  // refreshed from the card
        EXPECT_EQ(200000u, entry.size);
    }
    w.unload();
    EXPECT_TRUE(readFile(w.device("card1/up.bin")) == up);
}

// The new contents go to a hidden file in the card file's folder, which takes the card
// file's place only once every slice has arrived; a hidden file a killed HotSync left
// there goes when the listing shows it and again before a send, and nothing of the copy
// stays beside the card file.
TEST(RemoteCard, ACardFileIsReplacedOnlyOnceAllOfItHasArrived) {
    Workspace w(deviceIni("SliceFigure=131072\n"));
    writeFile(w.device("card1/Docs/doc.bin"), patterned(200000, 5));
    ASSERT_EQ(0, w.load());
    ASSERT_TRUE(w.fetchListing());
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ASSERT_TRUE(location.synchronise());
    }
    w.unload();
    const std::string edited = patterned(300000, 6);
    writeFile(w.pc("Card/Docs/doc.bin"), edited);
    setMtime(w.pc("Card/Docs/doc.bin"), mtime(w.pc("Card/Docs/doc.bin")) + 100);
    writeFile(w.device("card1/Docs/.tarnwick-upload"), "the first slices of a killed HotSync");

    ASSERT_EQ(0, w.load());
    ASSERT_TRUE(w.fetchListing());
    clearLogAndTrace();
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ASSERT_TRUE(location.synchronise());
    }
    const std::vector<std::string> trace = requestsAbout("/Docs/");
    w.unload();
    // The card copy is looked at once more (4) before anything of it is replaced.
    const std::vector<std::string> expected = {
        "7 /Docs/.tarnwick-upload",  "4 /Docs/doc.bin", "7 /Docs/.tarnwick-upload",  "3 /Docs/.tarnwick-upload", "3 */Docs/.tarnwick-upload",
        "3 */Docs/.tarnwick-upload", "8 /Docs/doc.bin|.tarnwick-old-doc.bin", "8 /Docs/.tarnwick-upload|doc.bin",
        "7 /Docs/.tarnwick-old-doc.bin", "4 /Docs/doc.bin"};
    EXPECT_EQ(expected, trace);
    EXPECT_TRUE(logHas("  /Docs/doc.bin: Copied from PC to Palm"));
    EXPECT_TRUE(readFile(w.device("card1/Docs/doc.bin")) == edited);
    EXPECT_EQ(std::vector<std::string>({"/Docs/doc.bin"}), sortedFilesBelow(w.device("card1")));
}

// A send that breaks off at any step leaves the card file as it was: never a stump, never
// missing, and nothing hidden beside it. The next HotSync sends the PC file again.
TEST(RemoteCard, ASendThatBreaksOffLeavesTheOldCardFileAndIsSentAgain) {
    const char* const faults[] = {
        "SyncCallRemoteModule name=3 nth=2 result=5",  // between two slices
        "SyncCallRemoteModule name=3 nth=3 code=4",    // the last slice refused
        "SyncCallRemoteModule name=8 nth=1 code=4",    // the old copy refused to make way
        "SyncCallRemoteModule name=8 nth=2 result=5",  // the rename into place
    };
    for (const char* fault : faults) {
        Workspace w(deviceIni("SliceFigure=131072\n"));
        const std::string old = patterned(300000, 1);
        writeFile(w.device("card1/doc.bin"), old);
        writeFile(w.device("card1/keep.txt"), "k");
        ASSERT_TRUE(syncOnce(w, {}));
        const std::string edited = patterned(300000, 2);
        writeFile(w.pc("Card/doc.bin"), edited);
        setMtime(w.pc("Card/doc.bin"), mtime(w.pc("Card/doc.bin")) + 100);

        ASSERT_TRUE(syncOnce(w, {fault})) << fault;
        EXPECT_TRUE(logHas("Could not copy file from PC to Palm: /doc.bin")) << fault;
        EXPECT_TRUE(readFile(w.device("card1/doc.bin")) == old) << fault;
        EXPECT_EQ(std::vector<std::string>({"/doc.bin", "/keep.txt"}), sortedFilesBelow(w.device("card1"))) << fault;

        ASSERT_TRUE(syncOnce(w, {})) << fault;
        EXPECT_TRUE(readFile(w.pc("Card/doc.bin")) == edited) << fault;
        EXPECT_TRUE(readFile(w.device("card1/doc.bin")) == edited) << fault;
        EXPECT_EQ(std::vector<std::string>({"/doc.bin", "/keep.txt"}), sortedFilesBelow(w.device("card1"))) << fault;
    }
}

// A fetch that breaks off after its first slice must leave the PC copy as it was, and
// nothing of the partial copy in the PC folder; the change arrives at the next HotSync.
TEST(RemoteCard, AFetchThatBreaksOffLeavesThePcFileAsItWas) {
    Workspace w(deviceIni("SliceFigure=131072\n"));
    const std::string first = patterned(300000, 3), second = patterned(290000, 4);
    writeFile(w.device("card1/big.bin"), first);
    ASSERT_TRUE(syncOnce(w, {}));
    ASSERT_TRUE(readFile(w.pc("Card/big.bin")) == first);

    writeFile(w.device("card1/big.bin"), second);
    setMtime(w.device("card1/big.bin"), mtime(w.device("card1/big.bin")) + 100);
    ASSERT_TRUE(syncOnce(w, {"SyncCallRemoteModule name=2 nth=2 result=5"}));
    EXPECT_TRUE(logHas("Could not copy file from Palm to PC: /big.bin"));
    EXPECT_TRUE(readFile(w.pc("Card/big.bin")) == first);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(w.pc("Card/.*").c_str(), &data);
    bool leftover = false;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            leftover = leftover || (name != "." && name != "..");
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    EXPECT_FALSE(leftover) << "a staged copy stayed in the PC folder";

    ASSERT_TRUE(syncOnce(w, {}));
    EXPECT_TRUE(readFile(w.pc("Card/big.bin")) == second);
}

TEST(RemoteCard, AnEmptyPcFileReallyArrivesOnTheCard) {
    Workspace w(deviceIni());
    writeFile(w.pc("Card/empty.txt"), "");
    writeFile(w.device("card1/keep.txt"), "k");
    ASSERT_EQ(0, w.load());
    ASSERT_TRUE(w.fetchListing());
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ASSERT_TRUE(location.synchronise());
    }
    w.unload();
    EXPECT_TRUE(logHas("  /empty.txt: Copied from PC to Palm"));
    ASSERT_TRUE(exists(w.device("card1/empty.txt")));
    EXPECT_EQ("", readFile(w.device("card1/empty.txt")));
}

TEST(RemoteCard, NamesThatWouldLeaveThePcFolderAreRefusedAndTheRestSynchronises) {
    Workspace w(deviceIni());
    writeFile(w.device("card1/good.txt"), "good");
    ASSERT_EQ(0, w.load());
    const char* evil[] = {"/../evil1.txt", "/sub/../../evil2.txt", "/a\\..\\..\\evil3.txt", "/C:/evil4.txt",
                          "/evil7.txt.",   "/evil5.txt:stream",    "/../evildir/",          "evil6.txt"};
    std::string listing = "<Card>\n/good.txt\t3700000000 0 4\n";
    for (const char* name : evil) listing += std::string(name) + "\t3700000000 " + (name[std::string(name).size() - 1] == '/' ? "16 0" : "0 9") + "\n";
    writeFile(w.listingPath(), listing);
    {
        RemoteCardLocation location(&w.context, "Card", w.listingPath());
        ASSERT_TRUE(location.synchronise());
        for (const char* name : evil) EXPECT_EQ(0u, location.entries().count(name)) << name;
    }
    std::vector<std::string> sent = traceOf("SyncCallRemoteModule");
    w.unload();
    EXPECT_EQ("good", readFile(w.pc("Card/good.txt")));
    for (const char* name : evil) EXPECT_TRUE(logContains(std::string("unsafe file name from the handheld skipped: ") + name)) << name;
    for (const std::string& f : filesBelow(w.root())) EXPECT_EQ(std::string::npos, f.find("evil")) << f;
    for (const std::string& s : sent) EXPECT_EQ(std::string::npos, s.find("evil")) << s;
}

TEST(RemoteCard, ACardNameThatMapsToNoFolderNameTouchesNothing) {
    for (const char* name : {"..", "", " ..."}) {
        Workspace w(deviceIni());
        ASSERT_EQ(0, w.load());
        writeFile(w.listingPath(), std::string("<") + name + ">\n/x.txt\t3700000000 0 1\n");
        {
            RemoteCardLocation location(&w.context, name, w.listingPath());
            EXPECT_FALSE(location.usable());
            EXPECT_FALSE(location.synchronise()) << name;
        }
        EXPECT_TRUE(traceOf("SyncCallRemoteModule").empty()) << name;
        EXPECT_TRUE(logContains("card name not usable as a PC folder")) << name;
        EXPECT_FALSE(logContains("Could not read PC Directory")) << name;
        std::vector<std::string> files = filesBelow(w.root());
        for (const std::string& f : files)
            EXPECT_TRUE(f == "/Tarnwick.ini" || f == "/listing.txt" || f.compare(0, 8, "/device/") == 0) << f;
        EXPECT_TRUE(filesBelow(w.root() + "\\User").empty());
        w.unload();
    }
}

TEST(RemoteCard, OnlyAMissingSectionIsAFailedListing) {
    Workspace w(deviceIni());
    ASSERT_EQ(0, w.load());
    writeFile(w.listingPath(), "<Card1>\n/x.txt\t3700000000 0 1\n<Cards>\n<Card>x\n");
    RemoteCardLocation location(&w.context, "Card", w.listingPath());
    EXPECT_FALSE(location.listHandheld());
    EXPECT_TRUE(logHas("Error getting file list from the handheld(0)"));
    writeFile(w.listingPath(), "<Card1>\n/x.txt\t3700000000 0 1\n<Card>\n<Other>\n");
    EXPECT_TRUE(location.listHandheld());
    EXPECT_TRUE(location.entries().empty());
}

// An empty card is filled from the PC; an empty card file is a file like any other, in
// both directions; and a new file needs no delete of a card copy that was never listed,
// even from a companion that answers an error for deleting a name it does not have.
TEST(RemoteCard, EmptyCardsAndEmptyFilesTakePartLikeAnyOther) {
    Workspace w(deviceIni());
    CreateDirectoryA(w.device("card1").c_str(), nullptr);
    writeFile(w.pc("Card/new.txt"), "n");
    writeFile(w.pc("Card/blank.txt"), "");
    ASSERT_TRUE(syncOnce(w, {"SyncCallRemoteModule name=7 code=4"}));
    EXPECT_EQ("n", readFile(w.device("card1/new.txt")));
    EXPECT_TRUE(exists(w.device("card1/blank.txt")));
    EXPECT_FALSE(logContains("Could not"));

    writeFile(w.device("card1/cardblank.txt"), "");
    ASSERT_TRUE(syncOnce(w, {}));
    EXPECT_TRUE(exists(w.pc("Card/cardblank.txt")));
    w.context.action = 2;  // the handheld overwrites the PC: what the card holds stays
    ASSERT_TRUE(syncOnce(w, {}));
    EXPECT_TRUE(exists(w.pc("Card/blank.txt")));
    EXPECT_TRUE(exists(w.pc("Card/cardblank.txt")));
    EXPECT_FALSE(logContains("Deleted"));
}

// Presses Cancel once the companion was sent `after` requests of one code (0: never).
struct CancelAfterRequests : ProgressSink {
    int code;
    size_t after;
    CancelAfterRequests(int c, size_t n) : code(c), after(n) {}
    bool IsCancelled() override { return after != 0 && requests(code).size() >= after; }
};

// A transfer database that will not go, an entry unreadable after an upload, Cancel mid-file:
// each side keeps the old or the new version whole, a HotSync that could not carry the file
// fails, and the next one converges with nothing left over and no conflict copy.
TEST(RemoteCard, TransfersThatCannotBeMadeCleanLeaveBothSidesWholeAndSay) {
    struct Row {
        bool up;
        std::vector<std::string> faults;
        size_t cancelAfter;  // slices
        bool clean, carried;
    } const rows[] = {
        {false, {"SmDeleteDb nth=3"}, 0, true, true},  // after the first slice
        {false, {"SmDeleteDb nth=3", "SmDeleteDb nth=4"}, 0, true, true},
        {false, {"SmDeleteDb"}, 0, false, false},
        {true, {"SmDeleteDb nth=1"}, 0, true, true},  // the listing's stays
        {true, {"SmDeleteDb nth=1", "SmDeleteDb nth=2"}, 0, true, true},
        {true, {"SmDeleteDb"}, 0, false, false},
        // The second entry-info request: the first is the look at the card copy before it is replaced.
        {true, {"SyncCallRemoteModule name=4 nth=2 result=5"}, 0, false, true},
        {true, {"SyncCallRemoteModule name=4 nth=2 code=2"}, 0, false, true},
        {false, {}, 3, false, false},
        {true, {}, 3, false, false},
    };
    for (const Row& row : rows) {
        const std::string what = (row.up ? "up " : "down ") + (row.faults.empty() ? "cancel" : row.faults.back());
        SCOPED_TRACE(what);
        Workspace w(deviceIni("SliceFigure=1000\nTransferAdds=1\n"));  // 1024-byte slices
        const std::string old = patterned(40860, 1), edited = patterned(39000, 2);
        writeFile(w.device("card1/doc.bin"), old);
        writeFile(w.device("card1/keep.txt"), "k");
        ASSERT_TRUE(syncOnce(w, {}));
        const std::string pcFile = w.pc("Card/doc.bin"), cardFile = w.device("card1/doc.bin");
        const std::string &sender = row.up ? pcFile : cardFile, &receiver = row.up ? cardFile : pcFile;
        writeFile(sender, edited);
        setMtime(sender, mtime(sender) + 100);
        auto expect = [&](bool carried) {
            EXPECT_TRUE(readFile(sender) == edited && readFile(receiver) == (carried ? edited : old));
            const std::vector<std::string> both = {"/doc.bin", "/keep.txt"};
            EXPECT_TRUE(sortedFilesBelow(w.device("card1")) == both && sortedFilesBelow(w.pc("Card")) == both);
        };

        CancelAfterRequests cancel(row.up ? 3 : 2, row.cancelAfter);
        w.context.progress = &cancel;
        uint32_t failures = 0;
        ASSERT_TRUE(syncOnce(w, row.faults, &failures));
        EXPECT_EQ(row.clean, failures == 0);
        EXPECT_TRUE(row.cancelAfter == 0 || requests(cancel.code).size() <= row.cancelAfter + 1);
        expect(row.carried);
        cancel.after = 0;
        ASSERT_TRUE(syncOnce(w, {}, &failures));
        EXPECT_EQ(0u, failures);
        expect(true);
        EXPECT_FALSE(logContains("Conflict"));
    }
}

}  // namespace
