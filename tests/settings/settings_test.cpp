// The settings file read and written through the real private-profile calls (wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "settings/Settings.h"

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH], name[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "ini", 0, name);
        path_ = name;
        DeleteFileA(path_.c_str());  // most tests start with no file at all
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    // Writes the file byte for byte, as a user or another program would.
    void writeFile(const std::string& text) {
        std::ofstream out(path_, std::ios::binary);
        out << text;
    }

    std::string path_;
};

TEST_F(SettingsFile, NoFileGivesEveryDefault) {
    Settings s(path_);
    EXPECT_TRUE(s.archiveEnabled("Ann"));
    EXPECT_EQ(0, s.frequency("Ann"));
    EXPECT_TRUE(s.backupConduitDatabases("Ann"));
    EXPECT_EQ(0, s.mainPermanentAction("Ann"));
    EXPECT_EQ(0, s.cardPermanentAction("Ann"));
    EXPECT_EQ("", s.directoryOf("Ann", "Card"));
    EXPECT_EQ(0, s.lastBackup("Ann", "Card"));
    EXPECT_TRUE(s.directoryKeys("Ann").empty());
    std::vector<std::string> names, values;
    std::vector<int32_t> actions;
    s.readExceptions("Ann", "Card", names, values, actions);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ("Card", s.newCardName("Ann"));
    // Reading must not create the file.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path_.c_str()));
}

TEST_F(SettingsFile, EmptyPathYieldsDefaultsAndWritesNothing) {
    Settings s{std::string()};
    s.setFrequency("Ann", 2);
    EXPECT_EQ(0, s.frequency("Ann"));
    EXPECT_TRUE(s.archiveEnabled("Ann"));
}

TEST_F(SettingsFile, IntegersFollowTheProfileRules) {
    writeFile("[Ann]\r\nArchive=yes\r\nFrequency=7\r\nConduitDB=0\r\nMainPerm=3abc\r\n");
    Settings s(path_);
    EXPECT_FALSE(s.archiveEnabled("Ann"));  // not digits: 0, not the default
    EXPECT_EQ(7, s.frequency("Ann"));
    EXPECT_FALSE(s.backupConduitDatabases("Ann"));
    EXPECT_EQ(3, s.mainPermanentAction("Ann"));

    s.setArchiveEnabled("Ann", true);
    s.setFrequency("Ann", 2);
    EXPECT_TRUE(s.archiveEnabled("Ann"));
    EXPECT_EQ(2, s.frequency("Ann"));
    EXPECT_EQ("1", s.readString("Ann", "Archive", "?"));
    s.writeInt("Ann", "Neg", -42);
    EXPECT_EQ("-42", s.readString("Ann", "Neg", "?"));
}

TEST_F(SettingsFile, SectionsAreUserNamesWithoutRegardToCase) {
    Settings s(path_);
    s.setFrequency("Ann", 1);
    s.setFrequency("Bob", 3);
    EXPECT_EQ(1, s.frequency("Ann"));
    EXPECT_EQ(3, s.frequency("Bob"));
    EXPECT_EQ(1, s.frequency("ANN"));  // users differing only in case share a section
}

TEST_F(SettingsFile, CopyAfterEachHotSyncMakesTemporaryEqualPermanent) {
    writeFile("[Ann]\r\nMainPerm=3\r\n");
    Settings s(path_);
    s.copyPermanentToTemporary("Ann");
    EXPECT_EQ("3", s.readString("Ann", "MainTemp", "?"));
    EXPECT_EQ("0", s.readString("Ann", "CardTemp", "?"));  // no CardPerm: 0
}

TEST_F(SettingsFile, LongValuesAndLongKeyListsAreReadWhole) {
    Settings s(path_);
    s.writeString("Ann-Directories", "Card", std::string(1500, 'x'));
    EXPECT_EQ(std::string(1500, 'x'), s.directoryOf("Ann", "Card"));
    s.setDirectoryOf("Ann", "Card", "C:\\Sync\\Card");
    EXPECT_EQ("C:\\Sync\\Card", s.directoryOf("Ann", "Card"));

    // Far more key names than the starting buffers hold, in both enumerated sections: a
    // lost folder key would let a new card take an existing card's name, a lost exception
    // would synchronise what the user excluded.
    std::string text = "[Ann-Directories]\r\n";
    std::vector<std::string> keys;
    for (int i = 0; i < 800; ++i) {
        keys.push_back("Card" + std::to_string(i) + std::string(20, 'k'));
        text += keys.back() + "=C:\\x\r\n";
    }
    text += "[Ann-Card-Exceptions]\r\n";
    for (int i = 0; i < 1500; ++i) text += "/" + std::string(20, 'e') + std::to_string(i) + "=|HHTOPC\r\n";
    text += "/last=" + std::string(10000, 'v') + "|SKIP\r\n";
    writeFile(text);
    EXPECT_EQ(keys, s.directoryKeys("Ann"));
    std::vector<std::string> names, values;
    std::vector<int32_t> actions;
    s.readExceptions("Ann", "Card", names, values, actions);
    ASSERT_EQ(1501u, names.size());
    EXPECT_EQ("/LAST", names.back());
    EXPECT_EQ(std::string(10000, 'v'), values.back());
    EXPECT_EQ(6, actions.back());
    // Starting small changes nothing but the number of reads.
    writeFile("[S]\r\nalpha=1\r\nbeta=2\r\ngamma=3\r\n");
    EXPECT_EQ((std::vector<std::string>{"alpha", "beta", "gamma"}), s.keysOf("S", 3));
}

TEST_F(SettingsFile, LastBackupKeepsTimesBeyond2038AsTheSameBits) {
    Settings s(path_);
    const uint32_t late = 3000000000u;
    s.setLastBackup("Ann", "Card", static_cast<int32_t>(late));
    EXPECT_EQ(late, static_cast<uint32_t>(s.lastBackup("Ann", "Card")));
    s.setLastBackup("Ann", "Card", 1700000000);
    EXPECT_EQ(1700000000, s.lastBackup("Ann", "Card"));
}

TEST_F(SettingsFile, ExceptionsKeepFileOrderAndDecodeKeywordsWithCase) {
    writeFile(
        "[Ann-Card-Exceptions]\r\n"
        "/docs/=keep|SKIP\r\n"
        "/a=SKIP\r\n"
        "/b=x|HHTOPC\r\n"
        "/c=|PCTOHH\r\n"
        "/d=|FAST\r\n"
        "/e=|SYNC\r\n"
        "/f=|skip\r\n"
        "/g=| SKIP\r\n"
        "/h=one|SKIP|two\r\n");
    Settings s(path_);
    std::vector<std::string> names, values;
    std::vector<int32_t> actions;
    s.readExceptions("Ann", "Card", names, values, actions);
    const std::vector<std::string> wantNames{"/DOCS/", "/A", "/B", "/C", "/D", "/E", "/F", "/G", "/H"};
    const std::vector<std::string> wantValues{"keep", "SKIP", "x", "", "", "", "", "", "one"};
    const std::vector<int32_t> wantActions{6, 1, 2, 3, 0, 1, 1, 1, 1};
    EXPECT_EQ(wantNames, names);
    EXPECT_EQ(wantValues, values);
    EXPECT_EQ(wantActions, actions);

    // Appends: a second read doubles the lists rather than replacing them.
    s.readExceptions("Ann", "Card", names, values, actions);
    EXPECT_EQ(18u, names.size());
}

TEST_F(SettingsFile, ExceptionsOfAnEmptyLocationNameUseTwoHyphens) {
    writeFile("[Ann--Exceptions]\r\n/x=|SKIP\r\n");
    Settings s(path_);
    std::vector<std::string> names, values;
    std::vector<int32_t> actions;
    s.readExceptions("Ann", "", names, values, actions);
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(6, actions[0]);
}

TEST_F(SettingsFile, NewCardNameSkipsTakenNamesExactly) {
    Settings s(path_);
    s.setDirectoryOf("Ann", "card", "C:\\x");
    EXPECT_EQ("Card", s.newCardName("Ann"));  // a key in other case does not take it
    writeFile("[Ann-Directories]\r\nCard=C:\\a\r\nCard1=C:\\b\r\nMainMemory=C:\\m\r\n");
    EXPECT_EQ("Card2", s.newCardName("Ann"));
    EXPECT_EQ((std::vector<std::string>{"Card", "Card1", "MainMemory"}), s.directoryKeys("Ann"));
}

// A folder record names a folder only when it is absolute: anything else would be taken
// relative to the current folder. A record left empty by hand is a record, not a default.
TEST_F(SettingsFile, FolderRecordsAreAbsoluteFoldersOrRefused) {
    for (const char* path : {"C:\\Sync\\Card", "c:/Sync", "C:\\", "\\\\server\\share\\Card", "\\\\?\\C:\\Sync"})
        EXPECT_TRUE(Settings::isAbsoluteFolder(path)) << path;
    for (const char* path : {"", "junk", "Sync\\Card", "\\Sync", "C:Sync", "C:", "\\\\", "\\\\\\x", "..\\x"})
        EXPECT_FALSE(Settings::isAbsoluteFolder(path)) << path;
    Settings s(path_);
    EXPECT_EQ("C:\\new", s.directoryOrRecord("Ann", "Card", "C:\\new"));
    EXPECT_EQ("C:\\new", s.directoryOrRecord("Ann", "CARD", "C:\\other"));
    s.setDirectoryOf("Ann", "Card", "");
    EXPECT_EQ("", s.directoryOrRecord("Ann", "Card", "C:\\new"));
    s.setCardKeyOf("Ann", "L41", "A_2");
    s.setCardKeyOf("Ann", "L41", "");
    EXPECT_TRUE(s.cardKeysGiven("Ann").empty());
}

TEST(SettingsSingleton, LivesBesideTheModuleWithIniForItsExtension) {
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);  // the code is linked into this program
    std::string expected = module;
    expected = expected.substr(0, expected.rfind('.') + 1) + "ini";
    EXPECT_EQ(expected, TheSettings().path());
    EXPECT_EQ(&TheSettings(), &TheSettings());
}

}  // namespace
