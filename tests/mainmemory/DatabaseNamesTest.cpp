// Database names and their PC files: file names, the name inside a file, renamed names.
#include <gtest/gtest.h>

#include "mainmemory/DatabaseNames.h"

TEST(DatabaseNames, FileNameReplacesBlanksAndDotsAndTellsTheKind) {
    EXPECT_EQ(databaseFileName("Memo DB.old", false), "Memo_DB_old.pdb");
    EXPECT_EQ(databaseFileName("Launcher", true), "Launcher.prc");
    // Without dots no name can climb out of the location's folder.
    EXPECT_EQ(databaseFileName("..\\..\\evil", false), "__\\__\\evil.pdb");
    EXPECT_EQ(databaseFileName("", false), ".pdb");
}

TEST(DatabaseNames, NameInFileStopsAtNulOrTheEndOfTheField) {
    const uint8_t withNul[] = {'A', 'b', 0, 'x', 'y'};
    EXPECT_EQ(databaseNameInFile(withNul, sizeof withNul), "Ab");
    std::vector<uint8_t> full(40, 'N');
    EXPECT_EQ(databaseNameInFile(full.data(), full.size()), std::string(32, 'N'));
    EXPECT_EQ(databaseNameInFile(full.data(), 5), "NNNNN");  // a file shorter than the field
    EXPECT_EQ(databaseNameInFile(nullptr, 0), "");
}

TEST(DatabaseNames, UniqueNamesCountUpToNine) {
    EntryMap entries;
    std::string name;
    ASSERT_TRUE(newUniqueDatabaseName("Address", entries, name));
    EXPECT_EQ(name, "Address2");
    entries["Address2"];
    ASSERT_TRUE(newUniqueDatabaseName("Address", entries, name));
    EXPECT_EQ(name, "Address3");
    for (char c = '3'; c <= '9'; ++c) entries[std::string("Address") + c];
    EXPECT_FALSE(newUniqueDatabaseName("Address", entries, name));
    EXPECT_EQ(name, "Address9");  // the last name tried

    // A name that already ends in a digit simply gets another one.
    ASSERT_TRUE(newUniqueDatabaseName("Memo7", entries, name));
    EXPECT_EQ(name, "Memo72");

    // Full-length names keep their length.
    const std::string longLetter(31, 'L');
    ASSERT_TRUE(newUniqueDatabaseName(longLetter, entries, name));
    EXPECT_EQ(name, std::string(30, 'L') + "2");
    const std::string longDigit = std::string(30, 'L') + "4";
    ASSERT_TRUE(newUniqueDatabaseName(longDigit, entries, name));
    EXPECT_EQ(name, std::string(30, 'L') + "5");
    EXPECT_FALSE(newUniqueDatabaseName(std::string(30, 'L') + "9", entries, name));
    EXPECT_EQ(newUniqueDatabaseName("", entries, name), true);
    EXPECT_EQ(name, "2");
}

TEST(DatabaseNames, RenamedFileRewritesOnlyTheNameField) {
    std::string content(32, '\0');
    content.replace(0, 10, "Address\0zz", 10);
    content += "rest of the file";
    std::string renamed;
    ASSERT_TRUE(renamedDatabaseFile(content, "Address2", renamed));
    EXPECT_EQ(renamed.substr(0, 9), std::string("Address2\0", 9));
    EXPECT_EQ(renamed.substr(9, 23), content.substr(9, 23));  // the rest of the field stays
    EXPECT_EQ(renamed.substr(32), "rest of the file");

    ASSERT_TRUE(renamedDatabaseFile(content, std::string(32, 'X'), renamed));
    EXPECT_EQ(renamed.substr(0, 32), std::string(32, 'X'));  // no room for a NUL, none written
    EXPECT_EQ(renamed.substr(32), "rest of the file");

    EXPECT_FALSE(renamedDatabaseFile("short file", "Address2", renamed));
}
