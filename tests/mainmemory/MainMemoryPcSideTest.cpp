// The PC side of the main-memory location: its folders, the name map between database
// names and PC files, and renaming a PC file.
#include <gtest/gtest.h>

#include "mainmemory/DatabaseImage.h"
#include "tests/mainmemory/LocationFixture.h"

namespace {

// A small but valid database file naming `dbName`.
void writeDatabaseFile(const std::string& path, const std::string& dbName, const std::string& payload = "data") {
    DatabaseImage img;
    img.setName(dbName);
    img.records = {std::vector<uint8_t>(payload.begin(), payload.end())};
    img.recordEntries.resize(1);
    img.recordCount = 1;
    ASSERT_TRUE(img.writeFile(path));
}

}  // namespace

TEST_F(LocationTest, ConstructionSetsUpFoldersAndLogsTheLocation) {
    MainMemoryLocation& loc = location();
    EXPECT_EQ(loc.locationName(), "MainMemory");
    EXPECT_EQ(loc.pcDirectory(), root_ + "Sync\\MainMemory");
    EXPECT_EQ(settings_->directoryOf("User1", "MainMemory"), root_ + "Sync\\MainMemory");
    EXPECT_EQ(loc.archiveDirectory(), root_ + "Archive\\Sync\\MainMemory");
    EXPECT_TRUE(fileExists(loc.archiveDirectory()));
    EXPECT_TRUE(logged("Main Memory: Location - " + root_ + "Sync\\MainMemory")) << allLog();
}

TEST_F(LocationTest, StoredFolderIsUsedButTheArchiveStaysBesideTheRoot) {
    settings_->setDirectoryOf("User1", "MainMemory", root_ + "Elsewhere");
    MainMemoryLocation& loc = location();
    EXPECT_EQ(loc.pcDirectory(), root_ + "Elsewhere");
    EXPECT_EQ(loc.archiveDirectory(), root_ + "Archive\\Sync\\MainMemory");
}

// A folder record edited by hand into no absolute folder would be taken relative to the
// current folder: main memory is skipped with an error line, and nothing is made.
TEST_F(LocationTest, AFolderRecordThatIsNoAbsoluteFolderSkipsMainMemory) {
    for (const std::string junk : {"junk", "Sync\\MainMemory", "\\MainMemory", "C:MainMemory", ""}) {
        StandinLogClear();
        settings_->setDirectoryOf("User1", "MainMemory", junk);
        MainMemoryLocation loc(&context_);
        EXPECT_FALSE(loc.synchronise()) << junk;
        EXPECT_TRUE(logged("Error: the PC folder recorded for MainMemory is no absolute folder, main memory skipped: \"" +
                           junk + "\"")) << allLog();
        EXPECT_FALSE(fileExists(root_ + "Archive")) << junk;
    }
}

TEST_F(LocationTest, DatabaseNamesMapToFileNamesOfTheirKind) {
    MainMemoryLocation& loc = location();
    EXPECT_EQ(loc.pcPathOf("Memo DB.old"), pcFile("Memo_DB_old.pdb"));
    loc.entries()["Launcher app"].attributes = 0x0001;
    EXPECT_EQ(loc.pcPathOf("Launcher app"), pcFile("Launcher_app.prc"));
    EXPECT_EQ(loc.entries().count("Unknown"), 0u);
    EXPECT_EQ(loc.pcPathOf("Unknown"), pcFile("Unknown.pdb"));
    EXPECT_EQ(loc.entries().count("Unknown"), 1u);  // looked up, and so inserted
    EXPECT_EQ(loc.nameMap().at("Memo DB.old"), pcFile("Memo_DB_old.pdb"));
    EXPECT_FALSE(loc.isDirectoryName("Memo DB.old"));
}

TEST_F(LocationTest, AFileStandsForTheDatabaseNamedInsideIt) {
    MainMemoryLocation& loc = location();
    writeDatabaseFile(pcFile("a.pdb"), "B");
    EXPECT_EQ(loc.relativeNameOf(pcFile("a.pdb")), "B");
    EXPECT_EQ(loc.pcPathOf("B"), pcFile("a.pdb"));

    // Short files, full name fields and unreadable paths give a name without reading past
    // what is there.
    writeBytes(pcFile("tiny.pdb"), {'T', 'i', 'n'});
    EXPECT_EQ(loc.relativeNameOf(pcFile("tiny.pdb")), "Tin");
    writeBytes(pcFile("full.pdb"), std::vector<uint8_t>(40, 'F'));
    EXPECT_EQ(loc.relativeNameOf(pcFile("full.pdb")), std::string(32, 'F'));
    EXPECT_EQ(loc.relativeNameOf(pcFile("missing.pdb")), "");
}

TEST_F(LocationTest, DatabasesWhoseFileNamesCoincideNeverShareAFile) {
    MainMemoryLocation& loc = location();
    // "Memo DB" and "Memo.DB" both give Memo_DB.pdb; a file that holds one of them is not
    // handed to the other.
    writeDatabaseFile(pcFile("Memo_DB.pdb"), "Memo DB");
    ASSERT_EQ(loc.relativeNameOf(pcFile("Memo_DB.pdb")), "Memo DB");
    EXPECT_EQ(loc.pcPathOf("Memo.DB"), pcFile("Memo_DB_2.pdb"));
    EXPECT_EQ(loc.pcPathOf("Memo DB"), pcFile("Memo_DB.pdb"));
    // Names differing only in case meet in one file on the PC as well.
    EXPECT_EQ(loc.pcPathOf("memo db"), pcFile("memo_db_3.pdb"));
    // A file nobody has claimed yet is not overwritten either.
    writeBytes(pcFile("Notes.pdb"), {'x'});
    EXPECT_EQ(loc.pcPathOf("Notes"), pcFile("Notes_2.pdb"));
}

TEST_F(LocationTest, RenameOnPcWritesTheNewNameIntoACopyAndRemovesTheOld) {
    MainMemoryLocation& loc = location();
    writeDatabaseFile(pcFile("Address.pdb"), "Address", "the PC version");
    const std::string oldName = loc.relativeNameOf(pcFile("Address.pdb"));
    FileEntry& entry = loc.entries()[oldName];
    ASSERT_TRUE(loc.fillPcStatus(pcFile("Address.pdb"), entry));
    const std::vector<uint8_t> before = readBytes(pcFile("Address.pdb"));

    ASSERT_TRUE(loc.renameOnPc("Address", entry));
    EXPECT_FALSE(fileExists(pcFile("Address.pdb")));
    const std::vector<uint8_t> after = readBytes(pcFile("Address2.pdb"));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::string(after.begin(), after.begin() + 9), std::string("Address2\0", 9));
    EXPECT_TRUE(std::equal(before.begin() + 9, before.end(), after.begin() + 9));
    EXPECT_EQ(entry.pcTime, 0u);
    EXPECT_NE(loc.entries()["Address2"].pcTime, 0u);
    EXPECT_TRUE(logged("  Address: Renamed on PC --> Address2")) << allLog();

    DatabaseImage img;
    ASSERT_TRUE(img.readFile(pcFile("Address2.pdb")));
    EXPECT_EQ(img.nameString(), "Address2");
}

TEST_F(LocationTest, RenameOnPcCountsUpAndGivesUpAfterNine) {
    MainMemoryLocation& loc = location();
    writeDatabaseFile(pcFile("Address.pdb"), "Address");
    loc.relativeNameOf(pcFile("Address.pdb"));
    loc.entries()["Address2"].handheldTime = 5;
    ASSERT_TRUE(loc.renameOnPc("Address", loc.entries()["Address"]));
    EXPECT_TRUE(fileExists(pcFile("Address3.pdb")));

    writeDatabaseFile(pcFile("Address.pdb"), "Address");
    loc.relativeNameOf(pcFile("Address.pdb"));
    for (char c = '2'; c <= '9'; ++c) loc.entries()[std::string("Address") + c];
    StandinLogClear();
    EXPECT_FALSE(loc.renameOnPc("Address", loc.entries()["Address"]));
    EXPECT_TRUE(logged("Could not rename PC File: Address9")) << allLog();
    EXPECT_TRUE(fileExists(pcFile("Address.pdb")));
}

TEST_F(LocationTest, RenameOnPcRefusesFilesTooShortForANameAndNeverOverwrites) {
    MainMemoryLocation& loc = location();
    writeBytes(pcFile("Short.pdb"), {'S', 'h', 'o', 'r', 't', 0});
    ASSERT_EQ(loc.relativeNameOf(pcFile("Short.pdb")), "Short");
    EXPECT_FALSE(loc.renameOnPc("Short", loc.entries()["Short"]));
    EXPECT_TRUE(logged("Could not rename PC File: " + pcFile("Short.pdb") + " --> " + pcFile("Short2.pdb")))
        << allLog();
    EXPECT_EQ(readBytes(pcFile("Short.pdb")).size(), 6u);
    EXPECT_FALSE(fileExists(pcFile("Short2.pdb")));

    // The old file is missing: nothing is created.
    StandinLogClear();
    EXPECT_FALSE(loc.renameOnPc("Gone", loc.entries()["Gone"]));
    EXPECT_FALSE(fileExists(pcFile("Gone2.pdb")));
}
