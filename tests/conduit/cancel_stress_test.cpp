// Many whole HotSyncs through hotsync.exe, each pressing Cancel at a random moment in its
// first 50 ms, a few at a time: every one must end. Start-up races (a thread of ours and a
// thread of the host meeting inside the loader, say) show only in a fresh process, so each
// HotSync is a process of its own. TARNWICK_CANCEL_STRESS_RUNS asks for more runs than the
// default, TARNWICK_CANCEL_STRESS_SEED repeats a run's moments. Then HotSyncs beside other
// windowed programs that hold up the desktop's messages.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "engine/Win32Handles.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/TestTree.h"

namespace {
constexpr int kDefaultRuns = 12;
constexpr int kAtOnce = 3;
constexpr int kFilesPerVolume = 200;
constexpr int kLatestCancelMs = 50;
// A HotSync here takes two to three seconds; one still running after this has hung.
constexpr DWORD kHungAfterMs = 30000;

int environmentNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

void writeFile(const std::string& path, const std::string& text) {
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_NE(INVALID_HANDLE_VALUE, file.get()) << path;
    ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

// One slot: a device with two card volumes, a PC folder and a copy of the conduit, so that
// its settings file is its own. Runs of a slot follow one another on the same folders.
struct Slot {
    std::string root;
    std::unique_ptr<ChildProcess> process;
    int cancelAfterMs = 0;
    DWORD startedAt = 0;

    void prepare(const std::string& bin, const std::string& folder) {
        root = folder;
        for (const char* sub : {"", "conduit", "device", "device\\card1", "device\\card2", "pc"})
            CreateDirectoryA((root + sub).c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((bin + "Tarnwick.dll").c_str(), (root + "conduit\\Tarnwick.dll").c_str(), FALSE));
        writeFile(root + "device\\device.ini",
                  "[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card1\nLabel=One\n[Volume2]\nPath=card2\nLabel=Two\n");
        for (const char* card : {"card1", "card2"})
            for (int i = 0; i < kFilesPerVolume; ++i)
                writeFile(root + "device\\" + card + "\\file" + std::to_string(i) + ".txt",
                          "contents of file " + std::to_string(i) + "\n");
    }

    bool start(const std::string& bin, int cancelAfter) {
        cancelAfterMs = cancelAfter;
        std::string command = "\"" + bin + "hotsync.exe\" sync --device \"" + root + "device\" --user Stress --pc \"" +
                              root + "pc\" --conduit \"" + root + "conduit\\Tarnwick.dll\" --log \"" + root +
                              "hotsync.log\"";
        if (cancelAfter >= 0) command += " --cancel-after " + std::to_string(cancelAfter);
        process = std::make_unique<ChildProcess>(command);
        if (!process->started()) return false;
        startedAt = GetTickCount();
        return true;
    }
};
}  // namespace

// Runs `runs` HotSyncs, kAtOnce at a time, each pressing Cancel after cancelAfter() ms
// (never when negative); every one must end, and end well. `what` names the cases.
void runHotSyncs(const char* what, int runs, const std::function<int()>& cancelAfter) {
    const std::string bin = binFolder() + "\\";
    const std::string scratch = bin + "cancel-stress-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(scratch.c_str(), nullptr);
    Slot slots[kAtOnce];
    for (int s = 0; s < kAtOnce; ++s) {
        slots[s].prepare(bin, scratch + "slot" + std::to_string(s) + "\\");
        if (::testing::Test::HasFatalFailure()) return;
    }

    int started = 0, ended = 0;
    std::vector<std::string> hung;
    while (ended + static_cast<int>(hung.size()) < runs) {
        for (Slot& slot : slots) {
            if (!slot.process && started < runs) {
                ASSERT_TRUE(slot.start(bin, cancelAfter())) << "hotsync.exe did not start";
                ++started;
            }
        }
        std::vector<HANDLE> running;
        for (Slot& slot : slots)
            if (slot.process) running.push_back(slot.process->process());
        WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, 250);
        for (Slot& slot : slots) {
            if (!slot.process) continue;
            const DWORD code = slot.process->exitCode();
            if (code == STILL_ACTIVE && GetTickCount() - slot.startedAt < kHungAfterMs) continue;
            if (code == STILL_ACTIVE) {
                slot.process->kill(1);
                hung.push_back(std::string(what) + ", Cancel after " + std::to_string(slot.cancelAfterMs) + " ms");
            } else {
                EXPECT_EQ(0u, code) << "Cancel after " << slot.cancelAfterMs << " ms; see " << slot.root
                                    << "hotsync.log";
                ++ended;
            }
            slot.process.reset();
        }
    }
    for (const std::string& run : hung) ADD_FAILURE() << "HotSync did not end: " << run;
    EXPECT_EQ(runs, ended);
    // Kept for a look when something failed.
    if (!::testing::Test::HasFailure()) removeTree(scratch.substr(0, scratch.size() - 1));
}

TEST(CancelStress, EveryHotSyncCancelledInItsFirstMillisecondsEnds) {
    const int runs = environmentNumber("TARNWICK_CANCEL_STRESS_RUNS", kDefaultRuns);
    const unsigned seed = static_cast<unsigned>(environmentNumber("TARNWICK_CANCEL_STRESS_SEED", GetTickCount()));
    std::printf("cancel stress: %d HotSyncs, seed %u\n", runs, seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, kLatestCancelMs);
    runHotSyncs(("seed " + std::to_string(seed)).c_str(), runs, [&] { return moment(random); });
}

TEST(CancelStress, EveryHotSyncBesideProgramsThatBroadcastOrDoNotPumpEnds) {
    // Other windowed programs in the same prefix, as on a user's desktop: one broadcasts a
    // setting change every half second, one owns a window and answers nothing for seconds
    // at a time (so every broadcast waits on it). TARNWICK_NEIGHBOUR_STRESS_RUNS asks for
    // more HotSyncs.
    const int runs = environmentNumber("TARNWICK_NEIGHBOUR_STRESS_RUNS", kDefaultRuns / 2);
    std::printf("neighbour stress: %d HotSyncs\n", runs);
    ChildProcess stall("neighbour.exe stall 600000");
    ChildProcess broadcast("neighbour.exe broadcast 600000");
    ASSERT_TRUE(stall.started() && broadcast.started()) << "neighbour.exe did not start";
    runHotSyncs("beside the neighbours", runs, [] { return -1; });
    EXPECT_TRUE(stall.running() && broadcast.running()) << "a neighbour ended early";
    stall.kill(0);
    broadcast.kill(0);
}
