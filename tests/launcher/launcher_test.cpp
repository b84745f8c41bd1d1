// The launcher: the sliced wait on its own, then the real LaunchApp export starting
// busy_program.exe.
#include "launcher/Kickoff.h"
#include "launcher/WaitPlan.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kickoff;

// A fake wait that times out on every slice except the one numbered endAt (if any).
struct FakeWait {
    std::vector<std::uint32_t> slices;
    size_t endAt = SIZE_MAX;
    int endWith = kEnded;
    int operator()(std::uint32_t ms) {
        slices.push_back(ms);
        return slices.size() - 1 == endAt ? endWith : kStillRunning;
    }
};

std::uint64_t sum(const std::vector<std::uint32_t>& v) {
    std::uint64_t total = 0;
    for (auto s : v) total += s;
    return total;
}

TEST(WaitPlan, LongWaitsAreWaitedInFullWithoutAnInfiniteSlice) {
    // 4294968 s is the first wait whose milliseconds do not fit in 32 bits; wrapped, it
    // would be a wait of 704 ms.
    for (std::uint32_t seconds : {4294967u, 4294968u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(seconds);
        FakeWait wait;
        EXPECT_EQ(kStillRunning, waitInSlices(waitMilliseconds(seconds), wait));
        EXPECT_EQ(std::uint64_t(seconds) * 1000u, sum(wait.slices));
        for (auto s : wait.slices) EXPECT_NE(0xFFFFFFFFu, s);
    }
    FakeWait wait;
    waitInSlices(waitMilliseconds(4294968u), wait);
    EXPECT_EQ((std::vector<std::uint32_t>{0xFFFFFFFEu, 706u}), wait.slices);
}

TEST(WaitPlan, StopsAtTheSliceWhereTheProgramEndsOrTheWaitFails) {
    FakeWait ends;
    ends.endAt = 1;
    EXPECT_EQ(kEnded, waitInSlices(waitMilliseconds(0xFFFFFFFFu), ends));
    EXPECT_EQ(2u, ends.slices.size());

    FakeWait fails;
    fails.endAt = 0;
    fails.endWith = kFailed;
    EXPECT_EQ(kFailed, waitInSlices(waitMilliseconds(0xFFFFFFFFu), fails));
    EXPECT_EQ(1u, fails.slices.size());

    FakeWait once;
    EXPECT_EQ(kStillRunning, waitInSlices(1000, once));
    EXPECT_EQ((std::vector<std::uint32_t>{1000u}), once.slices);
}

class LaunchAppExport : public ::testing::Test {
protected:
    void SetUp() override {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        bin_ = self;
        bin_.erase(bin_.find_last_of('\\') + 1);
        module_ = LoadLibraryA((bin_ + "Kickoff.dll").c_str());
        ASSERT_NE(nullptr, module_);
        launch_ = reinterpret_cast<LaunchAppFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "LaunchApp")));
        ASSERT_NE(nullptr, launch_);
        record_ = bin_ + "busy-record-" + std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(record_.c_str());
    }
    void TearDown() override {
        // Let a started program finish, so it neither outlives the suite nor writes its
        // record after it was deleted.
        for (int i = 0; started_ && i < 100 && readRecord().find("ended") == std::string::npos; ++i) Sleep(100);
        DeleteFileA(record_.c_str());
        if (module_) FreeLibrary(module_);
    }

    std::string busy(int ms) const { return "busy_program.exe " + std::to_string(ms) + " \"" + record_ + "\""; }
    std::string readRecord() const {
        std::ifstream in(record_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Calls LaunchApp and answers its result and how long it took.
    int32_t launch(std::uint32_t wait, const char* commandLine, DWORD* elapsedMs, std::uint32_t first = 0) {
        const DWORD start = GetTickCount();
        const int32_t result = launch_(first, wait, commandLine);
        *elapsedMs = GetTickCount() - start;
        started_ = started_ || result != 2;
        return result;
    }

    std::string bin_, record_;
    bool started_ = false;
    HMODULE module_ = nullptr;
    LaunchAppFunction launch_ = nullptr;
};

TEST_F(LaunchAppExport, WithoutAWaitAnswersStartedAtOnce) {
    DWORD elapsed = 0;
    EXPECT_EQ(0, launch(0, busy(2000).c_str(), &elapsed));
    EXPECT_LT(elapsed, 1000u);
}

TEST_F(LaunchAppExport, WaitOfOneSecondOnALongProgramAnswersStillRunning) {
    DWORD elapsed = 0;
    EXPECT_EQ(1, launch(1, busy(4000).c_str(), &elapsed));
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 2500u);
    EXPECT_EQ(std::string::npos, readRecord().find("ended"));
}

TEST_F(LaunchAppExport, ProgramEndingWithinTheWaitAnswersEndedWithItsArguments) {
    DWORD elapsed = 0;
    const std::string commandLine = busy(200);
    EXPECT_EQ(0, launch(10, commandLine.c_str(), &elapsed, 0xFFFFFFFFu));
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(commandLine + "\nended\n", readRecord());
}

TEST_F(LaunchAppExport, WaitBeyondThirtyTwoBitMillisecondsIsNotCutShort) {
    // Wrapped to 32 bits this wait would end after 704 ms, before the program.
    DWORD elapsed = 0;
    EXPECT_EQ(0, launch(4294968u, busy(1500).c_str(), &elapsed));
    EXPECT_GE(elapsed, 1400u);
    EXPECT_NE(std::string::npos, readRecord().find("ended"));
}

TEST_F(LaunchAppExport, ACallerWithAWindowServesTheBroadcastOfTheProgramItWaitsFor) {
    // The caller owns a top-level window and does nothing but wait in LaunchApp: the
    // program's broadcast reaches that window only if the wait serves sent messages, and
    // the program (and the answer) would otherwise wait for the broadcast's time-out.
    HWND window = CreateWindowExA(0, "STATIC", "launcher caller", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    DWORD elapsed = 0;
    const std::string commandLine = busy(200) + " broadcast";
    EXPECT_EQ(0, launch(10, commandLine.c_str(), &elapsed));
    EXPECT_LT(elapsed, 3000u);
    const std::string record = readRecord();
    EXPECT_NE(std::string::npos, record.find("ended")) << record;
    const size_t at = record.find("broadcast ");
    ASSERT_NE(std::string::npos, at) << record;
    EXPECT_LT(std::stoul(record.substr(at + 10)), 2000u) << record;
    // A wait that ran out still answers 1, with the window served all the while.
    EXPECT_EQ(1, launch(1, (busy(3000) + " broadcast").c_str(), &elapsed));
    EXPECT_LT(elapsed, 2500u);
    DestroyWindow(window);
}

TEST_F(LaunchAppExport, WhatCannotBeStartedAnswersTwoAtOnce) {
    for (const char* commandLine : {"Z:\\no\\such\\folder\\program.exe /x", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(commandLine ? commandLine : "(null)");
        DWORD elapsed = 0;
        EXPECT_EQ(2, launch(5, commandLine, &elapsed));
        EXPECT_LT(elapsed, 1000u);
    }
}

}  // namespace
