// The main-memory location against the simulated handheld: listing, backup, install,
// delete with archive, and the rename on the handheld.
#include <gtest/gtest.h>

#include "mainmemory/DatabaseImage.h"
#include "tests/mainmemory/DeviceFixture.h"

TEST_F(DeviceTest, ListingEntersEveryRamDatabase) {
    create(memoDb());
    create(resourceDb());
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    const FileEntry& memo = loc.entries().at("Memo DB");
    EXPECT_NE(memo.handheldTime, 0u);
    EXPECT_EQ(memo.creator, 0x74657374u);
    EXPECT_EQ(memo.attributes & 1, 0u);
    EXPECT_EQ(loc.entries().at("Launcher app").attributes & 1, 1u);
    EXPECT_EQ(loc.pcPathOf("Launcher app"), pcFile("Launcher_app.prc"));
}

TEST_F(DeviceTest, ListingFailureIsReported) {
    ASSERT_EQ(StandinFaultAdd("SyncReadSingleCardInfo result=4"), 0);
    EXPECT_FALSE(location().listHandheld());
    EXPECT_EQ(location().lastSyncError(), 4);
    StandinFaultClear();
    ASSERT_EQ(StandinFaultAdd("SmReadDbList result=6"), 0);
    create(memoDb());
    EXPECT_FALSE(location().listHandheld());
    EXPECT_EQ(location().lastSyncError(), 6);
}

// Backup to the PC, loss on the handheld, install back: the database is what it was.
TEST_F(DeviceTest, BackupThenInstallGivesTheDatabaseBack) {
    const TestDatabase original = memoDb("Memo DB.old");
    create(original);
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    FileEntry& entry = loc.entries().at("Memo DB.old");
    ASSERT_TRUE(loc.copyToPc("Memo DB.old", entry));
    EXPECT_TRUE(logged("  Memo DB.old: Copied from Palm to PC")) << allLog();
    EXPECT_TRUE(fileExists(pcFile("Memo_DB_old.pdb")));
    EXPECT_NE(entry.pcTime, 0u);

    ASSERT_EQ(SmDeleteDb("Memo DB.old", 0), 0);
    entry.handheldTime = 0;
    ASSERT_TRUE(loc.copyToHandheld("Memo DB.old", entry));
    EXPECT_TRUE(logged("  Memo DB.old: Copied from PC to Palm")) << allLog();
    EXPECT_NE(entry.handheldTime, 0u);
    expectSame(original, readBack("Memo DB.old"));
}

TEST_F(DeviceTest, InstallReplacesTheHandheldDatabaseWithThePcFile) {
    create(memoDb("Notes"));
    DatabaseImage pc;
    ASSERT_TRUE(pc.readFromHandheld("Notes"));
    pc.records = {{'n', 'e', 'w'}};
    pc.recordEntries.resize(1);
    pc.recordCount = 1;
    ASSERT_TRUE(pc.writeFile(pcFile("Notes.pdb")));
    MainMemoryLocation& loc = location();
    ASSERT_EQ(loc.relativeNameOf(pcFile("Notes.pdb")), "Notes");
    ASSERT_TRUE(loc.copyToHandheld("Notes", loc.entries()["Notes"]));
    const TestDatabase now = readBack("Notes");
    ASSERT_EQ(now.records.size(), 1u);  // replaced, not added to
    EXPECT_EQ(now.records[0].data, "new");
}

// A damaged PC file must not cost the handheld its copy.
TEST_F(DeviceTest, InstallOfAnUnreadableFileLeavesTheHandheldAlone) {
    const TestDatabase original = memoDb("Address");
    create(original);
    MainMemoryLocation& loc = location();
    std::vector<uint8_t> damaged(60, 0);
    std::memcpy(damaged.data(), "Address", 7);
    writeBytes(pcFile("Address.pdb"), damaged);  // a header declaring no records
    ASSERT_EQ(loc.relativeNameOf(pcFile("Address.pdb")), "Address");
    FileEntry& entry = loc.entries()["Address"];
    entry.handheldTime = 77;
    EXPECT_FALSE(loc.copyToHandheld("Address", entry));
    EXPECT_TRUE(logged("Could not copy file from PC to Palm(102:0): Address")) << allLog();
    expectSame(original, readBack("Address"));
    EXPECT_EQ(entry.handheldTime, 77u);

    // A file that cannot be opened at all: both codes 0, and still nothing deleted.
    StandinLogClear();
    EXPECT_FALSE(loc.copyToHandheld("Nowhere", loc.entries()["Nowhere"]));
    EXPECT_TRUE(logged("Could not copy file from PC to Palm(0:0): Nowhere")) << allLog();
    EXPECT_TRUE(existsOnHandheld("Address"));

    // A name field without its NUL names no database the handheld could hold.
    DatabaseImage noNul;
    std::memset(noNul.name, 'A', sizeof noNul.name);
    noNul.records = {{'x'}};
    noNul.recordEntries.resize(1);
    noNul.recordCount = 1;
    ASSERT_TRUE(noNul.writeFile(pcFile("full.pdb")));
    const std::string fullName = loc.relativeNameOf(pcFile("full.pdb"));
    StandinLogClear();
    EXPECT_FALSE(loc.copyToHandheld(fullName, loc.entries()[fullName]));
    EXPECT_TRUE(logged("Could not copy file from PC to Palm(101:0): " + fullName)) << allLog();
    EXPECT_FALSE(existsOnHandheld(std::string(31, 'A')));
}

// When writing fails half-way the partial database goes again, and the entry says the
// handheld has no copy, so the next HotSync installs the file instead of backing the
// fragment up over it.
TEST_F(DeviceTest, InstallThatFailsHalfWayLeavesNoFragment) {
    create(memoDb("Memo DB"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    FileEntry& entry = loc.entries().at("Memo DB");
    ASSERT_TRUE(loc.copyToPc("Memo DB", entry));
    StandinLogClear();
    ASSERT_EQ(StandinFaultAdd("SmWriteRecord nth=2 result=3"), 0);
    EXPECT_FALSE(loc.copyToHandheld("Memo DB", entry));
    EXPECT_TRUE(logged("Could not copy file from PC to Palm(10e:3): Memo DB")) << allLog();
    EXPECT_FALSE(existsOnHandheld("Memo DB"));
    EXPECT_EQ(entry.handheldTime, 0u);
    EXPECT_TRUE(fileExists(pcFile("Memo_DB.pdb")));
}

TEST_F(DeviceTest, BackupFailureNamesBothCodes) {
    create(memoDb("Memo DB"));
    MainMemoryLocation& loc = location();
    ASSERT_EQ(StandinFaultAdd("SmOpenDb result=0x1f"), 0);
    EXPECT_FALSE(loc.copyToPc("Memo DB", loc.entries()["Memo DB"]));
    EXPECT_TRUE(logged("Could not copy file from Palm to PC(10a:1f): Memo DB")) << allLog();
    EXPECT_FALSE(fileExists(pcFile("Memo_DB.pdb")));
}

TEST_F(DeviceTest, BackupReplacesAnOlderBackupWhole) {
    create(memoDb("Memo DB"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.copyToPc("Memo DB", loc.entries()["Memo DB"]));
    const std::vector<uint8_t> first = readBytes(pcFile("Memo_DB.pdb"));
    // A backup that fails half-way keeps the earlier file as it was.
    ASSERT_EQ(StandinFaultAdd("SmReadRecordByIndex nth=2 result=2"), 0);
    EXPECT_FALSE(loc.copyToPc("Memo DB", loc.entries()["Memo DB"]));
    EXPECT_EQ(readBytes(pcFile("Memo_DB.pdb")), first);
}

TEST_F(DeviceTest, DeleteArchivesFirstAndStopsWhenTheArchiveFails) {
    create(memoDb("Old Memo"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    FileEntry& entry = loc.entries().at("Old Memo");

    ASSERT_EQ(StandinFaultAdd("SmOpenDb result=5"), 0);
    EXPECT_FALSE(loc.deleteOnHandheld("Old Memo", entry));
    EXPECT_TRUE(logged("Could not archive Palm file(10a:5): Old Memo")) << allLog();
    StandinFaultClear();
    EXPECT_TRUE(existsOnHandheld("Old Memo"));

    StandinLogClear();
    ASSERT_TRUE(loc.deleteOnHandheld("Old Memo", entry));
    EXPECT_EQ(logLines(), (std::vector<std::string>{"  Old Memo: Archived", "  Old Memo: Deleted on Palm"}));
    EXPECT_EQ(entry.handheldTime, 0u);
    EXPECT_FALSE(existsOnHandheld("Old Memo"));
    DatabaseImage archived;
    ASSERT_TRUE(archived.readFile(loc.archiveDirectory() + "\\Old_Memo.pdb"));
    EXPECT_EQ(archived.nameString(), "Old Memo");
    EXPECT_EQ(archived.records.size(), 4u);
}

// Archived twice (deleted, made again, deleted), and a database of another name whose file
// name is the same deleted in a later run: the archive keeps all three.
TEST_F(DeviceTest, TheArchiveKeepsEveryVersionItIsGiven) {
    std::string archive;
    auto archiveAndDelete = [&](MainMemoryLocation& loc, const TestDatabase& db) {
        create(db);
        ASSERT_TRUE(loc.listHandheld());
        ASSERT_TRUE(loc.deleteOnHandheld(db.name, loc.entries().at(db.name)));
        archive = loc.archiveDirectory();
    };
    TestDatabase second = memoDb("Old Memo");
    second.records.resize(1);
    archiveAndDelete(location(), memoDb("Old Memo"));
    archiveAndDelete(location(), second);
    {
        MainMemoryLocation later(&context_);
        archiveAndDelete(later, memoDb("Old.Memo"));
    }
    const std::pair<const char*, std::pair<const char*, size_t>> kept[] = {
        {"Old_Memo.pdb", {"Old Memo", 4}}, {"Old_Memo_2.pdb", {"Old Memo", 1}}, {"Old_Memo_3.pdb", {"Old.Memo", 4}}};
    for (const auto& k : kept) {
        DatabaseImage archived;
        ASSERT_TRUE(archived.readFile(archive + "\\" + k.first)) << k.first;
        EXPECT_EQ(archived.nameString(), k.second.first) << k.first;
        EXPECT_EQ(archived.records.size(), k.second.second) << k.first;
    }
}

TEST_F(DeviceTest, DeleteWithoutArchiveAndAFailingDelete) {
    context_.archive = false;
    create(memoDb("Scratch"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    ASSERT_EQ(StandinFaultAdd("SmDeleteDb result=0x2b"), 0);
    EXPECT_FALSE(loc.deleteOnHandheld("Scratch", loc.entries().at("Scratch")));
    EXPECT_TRUE(logged("Could not delete Palm File(2b): Scratch")) << allLog();
    StandinFaultClear();
    StandinLogClear();
    ASSERT_TRUE(loc.deleteOnHandheld("Scratch", loc.entries().at("Scratch")));
    EXPECT_EQ(logLines(), std::vector<std::string>{"  Scratch: Deleted on Palm"});
    EXPECT_FALSE(fileExists(loc.archiveDirectory() + "\\Scratch.pdb"));
}

TEST_F(DeviceTest, RenameOnHandheldMakesAWholeCopyUnderTheNextFreeName) {
    const TestDatabase original = memoDb("Address");
    create(original);
    create(memoDb("Address2"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    FileEntry& entry = loc.entries().at("Address");
    ASSERT_TRUE(loc.renameOnHandheld("Address", entry));
    EXPECT_TRUE(logged("  Address: Renamed on Palm --> Address3")) << allLog();
    EXPECT_EQ(entry.handheldTime, 0u);
    EXPECT_NE(loc.entries().at("Address3").handheldTime, 0u);
    TestDatabase expected = original;
    expected.name = "Address3";
    expectSame(expected, readBack("Address3"));  // blocks included
    EXPECT_TRUE(existsOnHandheld("Address"));    // the original stays until it is replaced

    TestDatabase res = resourceDb("Prefs");
    create(res);
    ASSERT_TRUE(loc.renameOnHandheld("Prefs", loc.entries()["Prefs"]));
    res.name = "Prefs2";
    expectSame(res, readBack("Prefs2"));

    for (char c = '4'; c <= '9'; ++c) loc.entries()[std::string("Address") + c];
    StandinLogClear();
    EXPECT_FALSE(loc.renameOnHandheld("Address", entry));
    EXPECT_EQ(logLines(), std::vector<std::string>{"Could not Rename Palm File: Address"});
}

TEST_F(DeviceTest, RenameOnHandheldFailureLeavesNoHalfCopy) {
    create(memoDb("Address"));
    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    ASSERT_EQ(StandinFaultAdd("SmWriteRecord nth=3 result=8"), 0);
    EXPECT_FALSE(loc.renameOnHandheld("Address", loc.entries().at("Address")));
    EXPECT_TRUE(logged("Could not rename Palm File(8): Address --> Address2")) << allLog();
    EXPECT_FALSE(existsOnHandheld("Address2"));
    EXPECT_NE(loc.entries().at("Address").handheldTime, 0u);
}

// Dates and the modification number are the handheld's own and go into the backup
// unchanged; a database never modified (date 0) is still listed as present, and the
// handheld's "open" attribute bit never reaches the file.
TEST_F(DeviceTest, HandheldDatesReachTheBackupAndAZeroDateStillCounts) {
    const std::string stored =
        "TarnwickSim database 1\n"
        "name=Zero Date\nattributes=0x8008\nversion=1\ntype=DATA\ncreator=test\n"
        "created=100\nmodified=0\nbackup=300\nmodnum=7\n"
        "record attr=0x09 uid=0x000001 text=hi\n";
    writeBytes(device_ + "\\ram\\001-Zero%20Date.db", std::vector<uint8_t>(stored.begin(), stored.end()));
    ASSERT_EQ(StandinDeviceLoad(device_.c_str()), 0);

    MainMemoryLocation& loc = location();
    ASSERT_TRUE(loc.listHandheld());
    FileEntry& entry = loc.entries().at("Zero Date");
    EXPECT_EQ(entry.handheldTime, 1u);
    ASSERT_TRUE(loc.copyToPc("Zero Date", entry));

    DatabaseImage file;
    ASSERT_TRUE(file.readFile(pcFile("Zero_Date.pdb")));
    EXPECT_EQ(file.attributes, 0x0008);
    EXPECT_EQ(file.creationDate, 100u);
    EXPECT_EQ(file.modificationDate, 0u);
    EXPECT_EQ(file.backupDate, 300u);
    EXPECT_EQ(file.modificationNumber, 7u);
    EXPECT_EQ(file.uniqueIdSeed, 0u);
    EXPECT_EQ(file.recordEntries.at(0).attributes, 0x09);
    EXPECT_EQ(file.recordEntries.at(0).uniqueId[2], 0x01);
}

// Whole synchronisations of the location: databases whose PC file names coincide each keep
// a file of their own, and a second HotSync finds nothing to do.
TEST_F(DeviceTest, SynchronisingKeepsDatabasesWithCoincidingFileNamesApart) {
    create(memoDb("Memo DB"));
    TestDatabase other = memoDb("Memo.DB");
    other.records.resize(1);
    create(other);
    context_.action = ACTION_SYNCHRONISE;
    {
        MainMemoryLocation first(&context_);
        ASSERT_TRUE(first.synchronise()) << allLog();
    }
    EXPECT_TRUE(logged("  Memo DB: Copied from Palm to PC")) << allLog();
    EXPECT_TRUE(logged("  Memo.DB: Copied from Palm to PC")) << allLog();

    StandinLogClear();
    {
        MainMemoryLocation second(&context_);
        ASSERT_TRUE(second.synchronise());
    }
    for (const std::string& line : logLines()) {
        EXPECT_EQ(line.find("Copied"), std::string::npos) << line;
        EXPECT_EQ(line.find("Deleted"), std::string::npos) << line;
    }
    EXPECT_EQ(readBack("Memo DB").records.size(), 4u);
    EXPECT_EQ(readBack("Memo.DB").records.size(), 1u);
}

TEST_F(DeviceTest, SynchronisingCarriesADeletionOnThePcToTheHandheld) {
    create(memoDb("Memo DB"));
    context_.action = ACTION_SYNCHRONISE;
    std::string file;
    {
        MainMemoryLocation first(&context_);
        ASSERT_TRUE(first.synchronise());
        file = first.pcPathOf("Memo DB");
    }
    ASSERT_TRUE(DeleteFileA(file.c_str()));
    StandinLogClear();
    {
        MainMemoryLocation second(&context_);
        ASSERT_TRUE(second.synchronise());
        EXPECT_TRUE(fileExists(second.archiveDirectory() + "\\Memo_DB.pdb"));
    }
    EXPECT_TRUE(logged("  Memo DB: Archived")) << allLog();
    EXPECT_TRUE(logged("  Memo DB: Deleted on Palm")) << allLog();
    EXPECT_FALSE(existsOnHandheld("Memo DB"));
}
