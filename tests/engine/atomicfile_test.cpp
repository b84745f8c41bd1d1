// Staged writes beside their target: the temporary name is chosen, not created, so the
// writer's own creation is the only one, and nothing of it outlives the object.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "SyncFixture.h"
#include "engine/AtomicFile.h"

namespace {

class StagedWrite : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "tw_atomic_" + std::to_string(GetCurrentProcessId());
        removeTree(folder_);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    }
    void TearDown() override { removeTree(folder_); }

    std::string path(const std::string& name) const { return folder_ + "\\" + name; }
    static bool exists(const std::string& p) { return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
    static void write(const std::string& p, const std::string& bytes) {
        HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD done = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(h);
    }
    static std::string read(const std::string& p) {
        std::string bytes;
        return readWholeFile(p, bytes) ? bytes : "<missing>";
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder_ + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return out;
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") out.push_back(name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
        return out;
    }

    std::string folder_;
};

TEST_F(StagedWrite, TheTemporaryNameIsHiddenBesideTheTargetAndNotYetCreated) {
    AtomicFile a(path("report.txt"));
    AtomicFile b(path("report.txt"));
    ASSERT_TRUE(a.valid());
    ASSERT_TRUE(b.valid());
    // Two stagings alive at once never share a name, although neither file exists yet.
    EXPECT_NE(a.tempPath(), b.tempPath());
    for (const AtomicFile* f : {&a, &b}) {
        const std::string& temp = f->tempPath();
        const size_t slash = temp.find_last_of('\\');
        EXPECT_EQ(folder_, temp.substr(0, slash));
        // The PC scan passes over exactly this form and nothing else.
        EXPECT_TRUE(AtomicFile::isTempName(temp.substr(slash + 1))) << temp;
        EXPECT_FALSE(exists(temp)) << temp;
    }
    EXPECT_TRUE(names().empty());
    for (const char* user : {".tw.tmp", ".tw1-.tmp", ".tw-1.tmp", ".twx1-2.tmp", ".tw1-2.tmp.txt", "a.tw1-2.tmp",
                             ".TW1-2.TMP", ".tw1-2-3.tmp", ".profile"})
        EXPECT_FALSE(AtomicFile::isTempName(user)) << user;
}

TEST_F(StagedWrite, TheTargetChangesOnlyAtCommitAndNothingIsLeftEitherWay) {
    write(path("doc.txt"), "old");
    {
        AtomicFile staged(path("doc.txt"));
        ASSERT_TRUE(staged.valid());
        write(staged.tempPath(), "new");
        EXPECT_EQ("old", read(path("doc.txt")));
        ASSERT_TRUE(staged.commit());
        EXPECT_FALSE(staged.commit());  // once only
    }
    EXPECT_EQ("new", read(path("doc.txt")));
    {
        // A copy that breaks off: written, never committed.
        AtomicFile staged(path("doc.txt"));
        write(staged.tempPath(), "half");
    }
    {
        // A writer that failed before creating anything.
        AtomicFile staged(path("doc.txt"));
        EXPECT_FALSE(staged.commit());
    }
    EXPECT_EQ("new", read(path("doc.txt")));
    EXPECT_EQ(std::vector<std::string>{"doc.txt"}, names());
}

TEST_F(StagedWrite, AFolderThatIsNotThereGivesNoStaging) {
    AtomicFile staged(path("missing\\doc.txt"));
    EXPECT_FALSE(staged.valid());
    EXPECT_FALSE(staged.commit());
    EXPECT_FALSE(AtomicFile::writeWhole(path("missing\\doc.txt"), "x"));
}

TEST_F(StagedWrite, WriteWholeReplacesTheTargetAndLeavesOnlyIt) {
    ASSERT_TRUE(AtomicFile::writeWhole(path("state.txt"), "one"));
    ASSERT_TRUE(AtomicFile::writeWhole(path("state.txt"), "two\r\n"));
    EXPECT_EQ("two\r\n", read(path("state.txt")));
    // An empty content still makes the file.
    ASSERT_TRUE(AtomicFile::writeWhole(path("empty.txt"), ""));
    EXPECT_EQ("", read(path("empty.txt")));
    EXPECT_EQ(2u, names().size());
}

}  // namespace
