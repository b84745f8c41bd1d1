// The simulator must keep a card of tens of thousands of names cheap to list: the conduit
// makes five VFS calls per name, so no call may cost more on a larger card. The same calls
// over N host files and over 4N, in one run, must cost about the same per call.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "StandinDevice.h"
#include "TestDevice.h"
#include "VfsApi.h"
#include "tests/common/Timing.h"

namespace {

// Seconds per call of the fastest of three rounds that list every file of a card of `files`
// host files through five calls each, twenty times over.
double secondsPerCall(int files) {
    TestDevice device("[Device]\nVfs=1\nCompanion=0\n[Volume1]\nPath=card1\n");
    const int folders = files / 20;
    for (int d = 0; d < folders; ++d) {
        device.mkdir("card1/d" + std::to_string(d));
        for (int f = 0; f < 20; ++f)
            writeFile(device.path("card1/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"), "x");
    }
    EXPECT_EQ(0, device.load());
    HMODULE vfs = LoadLibraryA("vfsapi.dll");
    auto get = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(vfs, name)); };
    auto open = reinterpret_cast<VFSFileOpenFn>(get("VFSFileOpen"));
    auto date = reinterpret_cast<VFSFileGetDateFn>(get("VFSFileGetDate"));
    auto attributes = reinterpret_cast<VFSFileGetAttributesFn>(get("VFSFileGetAttributes"));
    auto size = reinterpret_cast<VFSFileSizeFn>(get("VFSFileSize"));
    auto close = reinterpret_cast<VFSFileCloseFn>(get("VFSFileClose"));
    const size_t tracedBefore = StandinTraceCount();
    const double seconds = fastestSeconds(3, [&] {
        for (int pass = 0; pass < 20; ++pass) {
            for (int i = 0; i < files; ++i) {
                std::string name = "/d" + std::to_string(i / 20) + "/f" + std::to_string(i % 20) + ".txt";
                VfsFileRef ref = 0;
                uint32_t v = 0;
                EXPECT_EQ(0, open(101, name.c_str(), VFS_MODE_READ, &ref));
                EXPECT_EQ(0, date(ref, VFS_DATE_MODIFIED, &v));
                EXPECT_EQ(0, attributes(ref, &v));
                EXPECT_EQ(0, size(ref, &v));
                EXPECT_EQ(1u, v);
                EXPECT_EQ(0, close(ref));
            }
        }
    });
    FreeLibrary(vfs);
    const size_t callsPerRound = 20u * 5u * static_cast<size_t>(files);
    EXPECT_GE(StandinTraceCount() - tracedBefore, 3 * callsPerRound);  // every call reached the simulator
    return seconds / static_cast<double>(callsPerRound);
}

TEST(Performance, TimePerListingCallDoesNotGrowWithTheCard) { expectCostPerUnitFlat(200, secondsPerCall, "call"); }

}  // namespace
