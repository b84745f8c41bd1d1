// One host process that loads the conduit, runs a HotSync of a small card and frees the
// conduit, again and again, as the HotSync manager does for weeks: the handles and private
// bytes it holds after N HotSyncs and after 4N must be the same but for noise.
// TARNWICK_SOAK_RUNS sets N (the default keeps `make test` short; 250 makes 1 000).
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "ConduitRecords.h"
#include "StandinLog.h"
#include "platform/handheld/StandinDevice.h"
#include "tests/common/TestTree.h"

namespace {
constexpr int kDefaultRuns = 3;
constexpr int kWarmUpRuns = 3;
// What the process may grow by between N and 4N HotSyncs: the heap's own bookkeeping. A
// leak of a handle or of a few kilobytes per HotSync shows over 3N of them.
constexpr long kHandleNoise = 3;
constexpr long kPrivateBytesNoise = 96 * 1024;

struct Usage {
    long handles;
    long privateBytes;
};

// Counted directly, as the system's own counters are not kept under every system (wine
// answers 0 for both): the handle values that name an open handle, and the committed
// memory of the process's own (heaps, stacks, the modules' written pages).
Usage usage() {
    long handles = 0;
    DWORD flags = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++handles;
    long privateBytes = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) privateBytes += static_cast<long>(region.RegionSize);
        if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < at) break;
    }
    return {handles, privateBytes};
}

void writeFile(const std::string& path, const std::string& text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

typedef int32_t (*OpenConduitFn)(void*, SyncProperties*);

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = binFolder() + "\\soak-" + std::to_string(GetCurrentProcessId());
        removeTree(root_);
        for (const char* sub : {"", "\\device", "\\device\\card", "\\device\\card\\Notes", "\\pc"})
            CreateDirectoryA((root_ + sub).c_str(), nullptr);
        writeFile(root_ + "\\device\\device.ini", "[Device]\nCompanion=0\nVfs=1\n[Volume1]\nPath=card\nLabel=Soak\n");
        for (int i = 0; i < 5; ++i)
            writeFile(root_ + "\\device\\card\\Notes\\note" + std::to_string(i) + ".txt", "note " + std::to_string(i));
        conduit_ = binFolder() + "\\Tarnwick.dll";
        // The conduit's settings live beside it and outlast the run: an earlier run's
        // records would send this card to that run's (removed) folder.
        const std::string ini = binFolder() + "\\Tarnwick.ini";
        for (const char* section : {"Soak", "Soak-CardKeys", "Soak-Directories", "Soak-LastBackup", "Soak-Unfinished",
                                    "Soak-HeldDeletions"})
            WritePrivateProfileStringA(section, nullptr, nullptr, ini.c_str());
    }
    void TearDown() override {
        StandinDeviceUnload();
        if (!HasFailure()) removeTree(root_);
    }

    // One HotSync as the manager runs it: load, OpenConduit, free.
    // Each HotSync meets the handheld afresh, as a new connection does.
    void hotSync() {
        StandinLogClear();
        ASSERT_EQ(0, StandinDeviceLoad((root_ + "\\device").c_str())) << StandinDeviceLoadError();
        HMODULE module = LoadLibraryA(conduit_.c_str());
        ASSERT_NE(nullptr, module);
        auto open = reinterpret_cast<OpenConduitFn>(reinterpret_cast<void*>(GetProcAddress(module, "OpenConduit")));
        SyncProperties properties;
        std::memset(&properties, 0, sizeof properties);
        std::strcpy(properties.userName, "Soak");
        std::snprintf(properties.pcFolder, sizeof properties.pcFolder, "%s\\pc\\", root_.c_str());
        const int32_t result = open ? open(nullptr, &properties) : -1;
        FreeLibrary(module);
        ASSERT_EQ(0, StandinDeviceSave());
        ASSERT_EQ(0, result);
        std::string log;
        for (size_t i = 0; i < StandinLogCount(); ++i) log += std::string(StandinLogText(i)) + "\n";
        ASSERT_GE(StandinLogCount(), 2u);
        ASSERT_EQ(std::string("Tarnwick"), StandinLogText(StandinLogCount() - 1)) << log;
    }
    void hotSyncs(int count) {
        for (int i = 0; i < count && !HasFatalFailure(); ++i) hotSync();
    }

    std::string root_, conduit_;
};
}  // namespace

TEST_F(Soak, AThousandHotSyncsInOneProcessHoldNoMoreThanTheFirstFew) {
    const char* asked = std::getenv("TARNWICK_SOAK_RUNS");
    const int n = asked && *asked ? std::atoi(asked) : kDefaultRuns;
    hotSyncs(kWarmUpRuns);
    const Usage start = usage();
    hotSyncs(n);
    const Usage afterN = usage();
    hotSyncs(3 * n);
    const Usage after4N = usage();
    std::printf("soak: handles %ld, %ld after %d, %ld after %d; private bytes %ld, %ld, %ld\n", start.handles,
                afterN.handles, n, after4N.handles, 4 * n, start.privateBytes, afterN.privateBytes,
                after4N.privateBytes);
    std::printf("soak: per HotSync from %d to %d: %.2f handles, %.0f bytes\n", n, 4 * n,
                double(after4N.handles - afterN.handles) / (3 * n),
                double(after4N.privateBytes - afterN.privateBytes) / (3 * n));
    EXPECT_LE(after4N.handles - afterN.handles, kHandleNoise);
    EXPECT_LE(after4N.privateBytes - afterN.privateBytes, kPrivateBytesNoise);
}
