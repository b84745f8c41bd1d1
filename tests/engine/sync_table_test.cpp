// Every row of the file and directory tables, carried out against real PC folders under
// actions 0, 2 and 3, with the log asserted letter for letter and both sides checked.
#include <functional>

#include "SyncFixture.h"

namespace {

const std::string F = "/f.txt";
const std::string kAbsent = "<absent>";

struct Outcome {
    Lines log;
    std::string handheld;  // content of /f.txt on the card afterwards
    std::string pc;        // and on the PC
};

class FileRows : public SyncTest {
protected:
    void row(const char* what, const std::function<void()>& prepare, const Outcome& sync0,
             const Outcome& hhToPc, const Outcome& pcToHh) {
        const std::pair<int32_t, const Outcome*> runs[] = {{0, &sync0}, {2, &hhToPc}, {3, &pcToHh}};
        for (const auto& run : runs) {
            SCOPED_TRACE(std::string(what) + ", action " + std::to_string(run.first));
            fresh();
            prepare();
            EXPECT_EQ(run.second->log, ops(run.first));
            EXPECT_TRUE(result);
            EXPECT_EQ(run.second->handheld, card.content(F));
            EXPECT_EQ(run.second->pc, readPc(F));
        }
    }
};

const std::string toPc = "  /f.txt: Copied from Palm to PC";
const std::string toHh = "  /f.txt: Copied from PC to Palm";
const std::string archivedLine = "  /f.txt: Archived";
const std::string deletedHh = "  /f.txt: Deleted on Palm";
const std::string deletedPc = "  /f.txt: Deleted on PC";

TEST_F(FileRows, NewOnHandheld) {
    row("new on handheld", [&] { card.put(F, "hh"); },
        {{toPc}, "hh", "hh"}, {{toPc}, "hh", "hh"}, {{archivedLine, deletedHh}, kAbsent, kAbsent});
}

TEST_F(FileRows, DeletedOnPc) {
    row("deleted on PC", [&] { baseline(F, "same"); DeleteFileA(pc(F).c_str()); },
        {{archivedLine, deletedHh}, kAbsent, kAbsent}, {{toPc}, "same", "same"},
        {{archivedLine, deletedHh}, kAbsent, kAbsent});
}

// Under synchronisation the edit wins over the deletion and goes back where it was deleted.
TEST_F(FileRows, DeletedOnPcAndChangedOnHandheldComesBack) {
    row("deleted on PC, changed on handheld",
        [&] { baseline(F, "same"); DeleteFileA(pc(F).c_str()); card.put(F, "hh2"); },
        {{toPc}, "hh2", "hh2"}, {{toPc}, "hh2", "hh2"},
        {{archivedLine, deletedHh}, kAbsent, kAbsent});
}

TEST_F(FileRows, DeletedOnHandheldAndChangedOnPcComesBack) {
    row("deleted on handheld, changed on PC",
        [&] { baseline(F, "same"); card.objects.erase(F); writePc(F, "pc2"); },
        {{toHh}, "pc2", "pc2"}, {{archivedLine, deletedPc}, kAbsent, kAbsent}, {{toHh}, "pc2", "pc2"});
}

TEST_F(FileRows, NewOnPc) {
    row("new on PC", [&] { writePc(F, "pc"); },
        {{toHh}, "pc", "pc"}, {{archivedLine, deletedPc}, kAbsent, kAbsent}, {{toHh}, "pc", "pc"});
}

TEST_F(FileRows, DeletedOnHandheld) {
    row("deleted on handheld", [&] { baseline(F, "same"); card.objects.erase(F); },
        {{archivedLine, deletedPc}, kAbsent, kAbsent}, {{archivedLine, deletedPc}, kAbsent, kAbsent},
        {{toHh}, "same", "same"});
}

TEST_F(FileRows, ChangedOnPcOnly) {
    row("changed on PC only", [&] { baseline(F, "same"); writePc(F, "pc2"); },
        {{toHh}, "pc2", "pc2"}, {{archivedLine, toPc}, "same", "same"}, {{toHh}, "pc2", "pc2"});
}

TEST_F(FileRows, ChangedOnHandheldOnly) {
    row("changed on handheld only", [&] { baseline(F, "same"); card.put(F, "hh2"); },
        {{toPc}, "hh2", "hh2"}, {{toPc}, "hh2", "hh2"}, {{archivedLine, toHh}, "same", "same"});
}

TEST_F(FileRows, ChangedOnBoth) {
    row("changed on both", [&] { baseline(F, "same"); card.put(F, "hh2"); writePc(F, "pc2"); },
        {{"Conflict: /f.txt modified on both Palm and PC", "  /f.txt: Renamed on PC --> /f_2.txt", toPc,
          "  /f_2.txt: Copied from PC to Palm"},
         "hh2", "hh2"},
        {{archivedLine, toPc}, "hh2", "hh2"}, {{archivedLine, toHh}, "pc2", "pc2"});
    EXPECT_EQ("hh2", archived("f.txt"));  // an overwrite keeps the version it replaced
}

TEST_F(FileRows, ChangedOnBothToTheSameContent) {
    row("changed on both, identical", [&] { baseline(F, "same"); card.put(F, "new"); writePc(F, "new"); },
        {{}, "new", "new"}, {{}, "new", "new"}, {{}, "new", "new"});
}

TEST_F(FileRows, Unchanged) {
    row("unchanged", [&] { baseline(F, "same"); }, {{}, "same", "same"}, {{}, "same", "same"},
        {{}, "same", "same"});
}

TEST_F(FileRows, OnNeitherSide) {
    row("on neither side", [&] { baseline(F, "same"); card.objects.erase(F); DeleteFileA(pc(F).c_str()); },
        {{}, kAbsent, kAbsent}, {{}, kAbsent, kAbsent}, {{}, kAbsent, kAbsent});
}

class DirectoryRows : public SyncTest {
protected:
    void row(const char* what, const std::function<void()>& prepare, bool onHandheld, bool onPc) {
        for (int32_t action : {0, 2, 3}) {
            SCOPED_TRACE(std::string(what) + ", action " + std::to_string(action));
            fresh();
            prepare();
            EXPECT_EQ(Lines{}, ops(action));
            EXPECT_TRUE(result);
            EXPECT_EQ(onHandheld, card.has("/D/"));
            EXPECT_EQ(onPc, pcExists("/D/"));
        }
    }
    void baselineDirectory() {
        card.mkdir("/D/");
        mkdirPc("/D/");
        sync(0);
        ASSERT_NE(std::string::npos, state().find("\t/D/\r\n")) << state();
    }
};

TEST_F(DirectoryRows, NewOnHandheldIsCreatedOnPc) {
    row("new on handheld", [&] { card.mkdir("/D/"); }, true, true);
}

TEST_F(DirectoryRows, DeletedOnPcIsDeletedOnHandheld) {
    row("deleted on PC", [&] { baselineDirectory(); RemoveDirectoryA(pc("/D/").c_str()); }, false, false);
}

TEST_F(DirectoryRows, NewOnPcIsCreatedOnHandheld) {
    row("new on PC", [&] { mkdirPc("/D/"); }, true, true);
}

TEST_F(DirectoryRows, DeletedOnHandheldIsDeletedOnPc) {
    row("deleted on handheld", [&] { baselineDirectory(); card.objects.erase("/D/"); }, false, false);
}

TEST_F(DirectoryRows, PresentOnBothStays) {
    row("on both", [&] { baselineDirectory(); }, true, true);
}

}  // namespace
