// Many whole HotSyncs through hotsync.exe, each pressing Cancel at a random moment in its
// first 50 ms, a few at a time: every one must end. Start-up races (a thread of ours and a
// thread of the host meeting inside the loader, say) show only in a fresh process, so each
// HotSync is a process of its own. TARNWICK_CANCEL_STRESS_RUNS asks for more runs than the
// default, TARNWICK_CANCEL_STRESS_SEED repeats a run's moments.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
#include "engine/Win32Handles.h"
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
    OwnedHandle process;
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
                              "hotsync.log\" --cancel-after " + std::to_string(cancelAfter);
        std::vector<char> writable(command.begin(), command.end());
        writable.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        process.reset(info.hProcess);
        startedAt = GetTickCount();
        return true;
    }
};
}  // namespace

TEST(CancelStress, EveryHotSyncCancelledInItsFirstMillisecondsEnds) {
    const int runs = environmentNumber("TARNWICK_CANCEL_STRESS_RUNS", kDefaultRuns);
    const unsigned seed = static_cast<unsigned>(environmentNumber("TARNWICK_CANCEL_STRESS_SEED", GetTickCount()));
    std::printf("cancel stress: %d HotSyncs, seed %u\n", runs, seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, kLatestCancelMs);

    const std::string bin = binFolder() + "\\";
    const std::string scratch = bin + "cancel-stress-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(scratch.c_str(), nullptr);
    Slot slots[kAtOnce];
    for (int s = 0; s < kAtOnce; ++s) {
        slots[s].prepare(bin, scratch + "slot" + std::to_string(s) + "\\");
        if (HasFatalFailure()) return;
    }

    int started = 0, ended = 0;
    std::vector<std::string> hung;
    while (ended + static_cast<int>(hung.size()) < runs) {
        for (Slot& slot : slots) {
            if (!slot.process && started < runs) {
                ASSERT_TRUE(slot.start(bin, moment(random))) << "hotsync.exe did not start";
                ++started;
            }
        }
        std::vector<HANDLE> running;
        for (Slot& slot : slots)
            if (slot.process) running.push_back(slot.process.get());
        WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, 250);
        for (Slot& slot : slots) {
            if (!slot.process) continue;
            DWORD code = STILL_ACTIVE;
            GetExitCodeProcess(slot.process.get(), &code);
            if (code == STILL_ACTIVE && GetTickCount() - slot.startedAt < kHungAfterMs) continue;
            if (code == STILL_ACTIVE) {
                TerminateProcess(slot.process.get(), 1);
                WaitForSingleObject(slot.process.get(), 5000);
                hung.push_back("Cancel after " + std::to_string(slot.cancelAfterMs) + " ms");
            } else {
                EXPECT_EQ(0u, code) << "Cancel after " << slot.cancelAfterMs << " ms; see " << slot.root
                                    << "hotsync.log";
                ++ended;
            }
            slot.process.reset();
        }
    }
    for (const std::string& run : hung) ADD_FAILURE() << "HotSync did not end: " << run << " (seed " << seed << ")";
    EXPECT_EQ(runs, ended);
    // Kept for a look when something failed.
    if (!HasFailure()) removeTree(scratch.substr(0, scratch.size() - 1));
}
