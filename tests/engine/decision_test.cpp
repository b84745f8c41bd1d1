// The file and directory rules as a table: each row is one case, with the operation
// expected under actions 0 (synchronise), 2 (handheld overwrites PC) and 3 (PC
// overwrites handheld). Times: H handheld now, Hs handheld last run, P PC now, Ps PC last.
#include <gtest/gtest.h>

#include "engine/Decision.h"

namespace {

using Op = Operation;

struct FileRow {
    const char* what;
    uint32_t H, Hs, P, Ps;
    Op sync, hhToPc, pcToHh;
    bool compareFirst;
};

const FileRow kFileRows[] = {
    // what                                    H    Hs   P    Ps   0                     2              3
    {"new on handheld",                        50,  0,   0,   0,   Op::CopyToPc,         Op::CopyToPc,   Op::DeleteOnHandheld, false},
    {"deleted on PC",                          50,  50,  0,   90,  Op::DeleteOnHandheld, Op::CopyToPc,   Op::DeleteOnHandheld, false},
    {"deleted on PC, changed on handheld",     60,  50,  0,   90,  Op::CopyToPc,         Op::CopyToPc,   Op::DeleteOnHandheld, false},
    {"new on PC",                              0,   0,   90,  0,   Op::CopyToHandheld,   Op::DeleteOnPc, Op::CopyToHandheld,   false},
    {"deleted on handheld",                    0,   50,  90,  90,  Op::DeleteOnPc,       Op::DeleteOnPc, Op::CopyToHandheld,   false},
    {"deleted on handheld, changed on PC",     0,   50,  95,  90,  Op::CopyToHandheld,   Op::DeleteOnPc, Op::CopyToHandheld,   false},
    {"changed on PC only",                     50,  50,  95,  90,  Op::CopyToHandheld,   Op::CopyToPc,   Op::CopyToHandheld,   false},
    {"changed on handheld only",               60,  50,  90,  90,  Op::CopyToPc,         Op::CopyToPc,   Op::CopyToHandheld,   false},
    {"changed on both",                        60,  50,  95,  90,  Op::Conflict,         Op::CopyToPc,   Op::CopyToHandheld,   true},
    {"present on both, no record (first run)", 60,  0,   95,  0,   Op::Conflict,         Op::CopyToPc,   Op::CopyToHandheld,   true},
    {"unchanged",                              50,  50,  90,  90,  Op::Nothing,          Op::Nothing,    Op::Nothing,          false},
    {"unchanged, clocks far apart",            100, 100, 4000000000u, 4000000000u, Op::Nothing, Op::Nothing, Op::Nothing,     false},
    {"on neither side",                        0,   50,  0,   90,  Op::Nothing,          Op::Nothing,    Op::Nothing,          false},
    {"on neither side, no record",             0,   0,   0,   0,   Op::Nothing,          Op::Nothing,    Op::Nothing,          false},
};

FileEntry entryOf(uint32_t H, uint32_t Hs, uint32_t P, uint32_t Ps, uint32_t status = 0) {
    FileEntry e;
    e.handheldTime = H;
    e.lastHandheldTime = Hs;
    e.pcTime = P;
    e.lastPcTime = Ps;
    e.status = status;
    return e;
}

TEST(FileRules, EveryRowUnderEveryAction) {
    for (const FileRow& row : kFileRows) {
        SCOPED_TRACE(row.what);
        const FileEntry e = entryOf(row.H, row.Hs, row.P, row.Ps);
        const Decision d0 = decide(e, 0, false);
        EXPECT_EQ(row.sync, d0.operation);
        EXPECT_EQ(row.compareFirst, d0.compareContentsFirst);
        EXPECT_EQ(row.hhToPc, decide(e, 2, false).operation);
        EXPECT_EQ(row.compareFirst, decide(e, 2, false).compareContentsFirst);
        EXPECT_EQ(row.pcToHh, decide(e, 3, false).operation);
        EXPECT_EQ(row.compareFirst, decide(e, 3, false).compareContentsFirst);
        // Slow synchronisation, the "SYNC" keyword and undefined codes synchronise.
        for (int32_t code : {1, 4, 5, 7, -1}) EXPECT_EQ(row.sync, decide(e, code, false).operation) << code;
        EXPECT_EQ(Op::Nothing, decide(e, 6, false).operation);
        // An entry that could not be read on one side is left alone, whatever the row.
        for (uint32_t status : {1u, 4u}) {
            const FileEntry bad = entryOf(row.H, row.Hs, row.P, row.Ps, status);
            for (int32_t code : {0, 1, 2, 3}) EXPECT_EQ(Op::Nothing, decide(bad, code, false).operation);
        }
    }
}

struct DirectoryRow {
    const char* what;
    uint32_t H, Hs, P;
    Op op;
};

const DirectoryRow kDirectoryRows[] = {
    {"new on handheld",     50, 0,  0,  Op::CreatePcDirectory},
    {"deleted on PC",       50, 50, 0,  Op::DeleteHandheldDirectory},
    {"new on PC",           0,  0,  90, Op::CreateHandheldDirectory},
    {"deleted on handheld", 0,  50, 90, Op::DeletePcDirectory},
    {"on both, no record",  50, 0,  90, Op::Nothing},
    {"on both, known",      50, 40, 90, Op::Nothing},
    {"on neither",          0,  50, 0,  Op::Nothing},
};

TEST(DirectoryRules, ActionPlaysNoPart) {
    for (const DirectoryRow& row : kDirectoryRows) {
        SCOPED_TRACE(row.what);
        for (int32_t code : {0, 1, 2, 3}) {
            const Decision d = decide(entryOf(row.H, row.Hs, row.P, 7), code, true);
            EXPECT_EQ(row.op, d.operation) << code;
            EXPECT_FALSE(d.compareContentsFirst);
        }
        EXPECT_EQ(Op::Nothing, decide(entryOf(row.H, row.Hs, row.P, 7, 4), 0, true).operation);
    }
}

TEST(Frequency, PeriodsAndWords) {
    EXPECT_EQ(0u, frequencyPeriod(0));
    EXPECT_EQ(86400u, frequencyPeriod(1));
    EXPECT_EQ(604800u, frequencyPeriod(2));
    EXPECT_EQ(2592000u, frequencyPeriod(3));
    EXPECT_EQ(0u, frequencyPeriod(7));
    EXPECT_EQ(0u, frequencyPeriod(-1));
    EXPECT_STREQ("Daily", frequencyWord(1));
    EXPECT_STREQ("Weekly", frequencyWord(2));
    EXPECT_STREQ("Monthly", frequencyWord(3));
}

TEST(ExceptionLabels, AsTheLogShowsThem) {
    EXPECT_STREQ("Sychronize", exceptionLabel(1));
    EXPECT_STREQ("Handheld to PC", exceptionLabel(2));
    EXPECT_STREQ("PC to Handheld", exceptionLabel(3));
    EXPECT_STREQ("Skip", exceptionLabel(6));
    EXPECT_STREQ("", exceptionLabel(0));
}

}  // namespace
