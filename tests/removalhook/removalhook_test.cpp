// The removal hook: the command-line rule on its own, then the real exports called from a
// stand-in removal program whose command line carries the options, starting a recording
// Quillmark.exe.
#include "removalhook/CommandLine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/common/ChildProcess.h"

#include <fstream>
#include <sstream>
#include <string>

namespace {

using detach::quillmarkCommandLine;

TEST(QuillmarkCommandLine, StartsTheProgramInTheFolderOfTheFileAfterF) {
    const std::string app = R"("C:\App\Quillmark.exe" /us)";
    struct Case { const char* commandLine; std::string expected; } cases[] = {
        {R"(remove.exe -f"C:\App\setup.dat" -c"C:\App\Detach.dll")", app},
        {R"(remove.exe -fC:\App\setup.dat -cX)", app},
        {R"(remove.exe -FC:\App\setup.dat -CX)", app},
        // The lower-case option wins wherever it stands.
        {R"(-FC:\Other\x.dat -fC:\App\setup.dat -cX)", app},
        {R"(-fC:\App\setup.dat-cX)", app},
        {R"(-fC:\My App\setup.dat -cX)", R"("C:\My App\Quillmark.exe" /us)"},
        {R"(remove.exe -f  "C:\App\setup.dat" -c "C:\App\Detach.dll")", app},
        {"-f\tC:\\App\\setup.dat -cX", app},
        // Plain text search: a "-f" inside a folder name is taken as the option.
        {R"(C:\my-files\remove.exe -fC:\App\setup.dat -cX)",
         R"("iles\remove.exe -fC:\App\Quillmark.exe" /us)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        const auto got = quillmarkCommandLine(c.commandLine);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(c.expected, *got);
    }
}

TEST(QuillmarkCommandLine, StartsNothingWithoutAFolderBetweenTheOptions) {
    const char* cases[] = {
        "", R"(-fC:\App\setup.dat)", R"(-cC:\App\Detach.dll)",
        R"(-cC:\App\Detach.dll -fC:\App\setup.dat)",
        "-fsetup.dat -cX", R"("-fsetup.dat" -c"C:\App\Detach.dll")",
        // Touching options leave no value at all (the span would be negative).
        "-f-c", R"(x -F-CC:\App\y)", "-fx-c",
    };
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        EXPECT_FALSE(quillmarkCommandLine(c).has_value());
    }
}

TEST(QuillmarkCommandLine, NeverReadsOutsideAnyPieceOfACommandLine) {
    // Every substring of a command line dense in option characters, quotes and
    // backslashes: nothing throws, and every answer is a well-formed start of the program.
    const std::string s = R"(-f-c\"-F\-C"-f\x\-c -cC:\-f"\-c)";
    const std::string tail = "Quillmark.exe\" /us";
    for (size_t from = 0; from <= s.size(); ++from) {
        for (size_t n = 0; from + n <= s.size(); ++n) {
            const auto got = quillmarkCommandLine(std::string_view(s).substr(from, n));
            if (!got) continue;
            ASSERT_EQ('"', got->front());
            ASSERT_GE(got->size(), tail.size() + 2);
            ASSERT_EQ(tail, got->substr(got->size() - tail.size()));
        }
    }
}

std::string folderOf(const char* path) {
    std::string s(path);
    return s.erase(s.find_last_of('\\') + 1);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class DetachHook : public ::testing::Test {
protected:
    void SetUp() override {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        bin_ = folderOf(self);
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        // A blank in the folder name: the started command line must quote the path.
        static int serial = 0;
        dir_ = std::string(temp) + "tw detach " + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial) + "\\";
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((bin_ + "Quillmark.exe").c_str(), (dir_ + "Quillmark.exe").c_str(), FALSE));
        DeleteFileA((bin_ + "quillmark-args.txt").c_str());
        DeleteFileA((bin_ + "quillmark-done.txt").c_str());
    }
    void TearDown() override {
        for (const char* name : {"quillmark-hold", "quillmark-broadcast", "quillmark-args.txt", "quillmark-done.txt",
                                 "Quillmark.exe"}) {
            // The copy may still be ending after it wrote its last file.
            for (int i = 0; i < 50 && exists(dir_ + name) && !DeleteFileA((dir_ + name).c_str()); ++i) Sleep(100);
        }
        RemoveDirectoryA(dir_.c_str());
    }

    // Runs the stand-in removal program with these options; answers its exit code.
    DWORD runRemoval(const std::string& options, DWORD* elapsedMs = nullptr) {
        ChildOptions child;
        child.application = bin_ + "detach_host.exe";
        const DWORD start = GetTickCount();
        const ChildResult run = RunChild("detach_host " + options, 60000, child);
        if (elapsedMs) *elapsedMs = GetTickCount() - start;
        if (!run.started) return 1000;
        return run.timedOut ? 1001 : run.exitCode;
    }

    std::string startedHere() const { return readAll(dir_ + "quillmark-args.txt"); }
    std::string startedInBin() const { return readAll(bin_ + "quillmark-args.txt"); }

    std::string bin_;
    std::string dir_;
};

TEST_F(DetachHook, StartsQuillmarkWithUsInEachOptionForm) {
    const std::string expected = "\"" + dir_ + "Quillmark.exe\" /us\n";
    const std::string forms[] = {
        "-f\"" + dir_ + "setup.dat\" -c\"" + dir_ + "Detach.dll\"",
        "-f" + dir_ + "setup.dat -cX",
        "-f \"" + dir_ + "setup.dat\" -c \"" + dir_ + "Detach.dll\"",
        "-F\"" + dir_ + "setup.dat\" -C\"" + dir_ + "Detach.dll\"",
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form);
        DeleteFileA((dir_ + "quillmark-args.txt").c_str());
        DWORD elapsed = 0;
        EXPECT_EQ(0u, runRemoval(form, &elapsed));
        EXPECT_EQ(expected, startedHere());
        EXPECT_TRUE(exists(dir_ + "quillmark-done.txt"));
        // The hook returns once the program has ended, not after its whole 15 s time-out; a
        // cold wine start on a loaded machine alone has taken over 10 s.
        EXPECT_LT(elapsed, 14500u);
    }
    EXPECT_EQ("", startedInBin());
}

TEST_F(DetachHook, TheRemovalProgramsWindowIsServedWhileTheHookWaits) {
    // The program broadcasts a setting change; the removal program's window answers it only
    // through the hook's wait, and otherwise the broadcast (and the removal) waits 5 s.
    { std::ofstream broadcast(dir_ + "quillmark-broadcast"); }
    DWORD elapsed = 0;
    EXPECT_EQ(0u, runRemoval("-f\"" + dir_ + "setup.dat\" -c\"" + dir_ + "Detach.dll\"", &elapsed));
    EXPECT_TRUE(exists(dir_ + "quillmark-done.txt"));
    EXPECT_LT(elapsed, 4000u);
}

TEST_F(DetachHook, StartsNothingWhenTheOptionsNameNoFolder) {
    const std::string forms[] = {
        "-c\"" + dir_ + "Detach.dll\" -f\"" + dir_ + "setup.dat\"",
        "-fsetup.dat -cX",
        "-f-c\"" + dir_ + "Detach.dll\"",
        "-f\"" + dir_ + "setup.dat\"",
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form);
        EXPECT_EQ(0u, runRemoval(form));
        EXPECT_EQ("", startedHere());
        EXPECT_EQ("", startedInBin());
    }
}

TEST_F(DetachHook, GivesUpAfterFifteenSecondsAndLeavesTheProgramRunning) {
    { std::ofstream hold(dir_ + "quillmark-hold"); }
    DWORD elapsed = 0;
    EXPECT_EQ(0u, runRemoval("-f\"" + dir_ + "setup.dat\" -c\"" + dir_ + "Detach.dll\"", &elapsed));
    EXPECT_GE(elapsed, 14500u);
    EXPECT_LT(elapsed, 25000u);
    EXPECT_NE("", startedHere());
    EXPECT_FALSE(exists(dir_ + "quillmark-done.txt"));

    DeleteFileA((dir_ + "quillmark-hold").c_str());
    for (int i = 0; i < 100 && !exists(dir_ + "quillmark-done.txt"); ++i) Sleep(100);
    EXPECT_TRUE(exists(dir_ + "quillmark-done.txt"));
}

}  // namespace
