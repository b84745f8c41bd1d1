// The simulator must keep a card of tens of thousands of names cheap to list: the conduit
// makes five VFS calls per name.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "StandinDevice.h"
#include "TestDevice.h"
#include "VfsApi.h"

TEST(Performance, TenThousandListingsThroughFiveCallsEach) {
    TestDevice device("[Device]\nVfs=1\nCompanion=0\n[Volume1]\nPath=card1\n");
    // 500 host files (making them is what costs here), each listed twenty times over.
    for (int d = 0; d < 25; ++d) {
        device.mkdir("card1/d" + std::to_string(d));
        for (int f = 0; f < 20; ++f)
            writeFile(device.path("card1/d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"), "x");
    }
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, device.load());
    auto loaded = std::chrono::steady_clock::now();
    HMODULE vfs = LoadLibraryA("vfsapi.dll");
    auto get = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(vfs, name)); };
    auto open = reinterpret_cast<VFSFileOpenFn>(get("VFSFileOpen"));
    auto date = reinterpret_cast<VFSFileGetDateFn>(get("VFSFileGetDate"));
    auto attributes = reinterpret_cast<VFSFileGetAttributesFn>(get("VFSFileGetAttributes"));
    auto size = reinterpret_cast<VFSFileSizeFn>(get("VFSFileSize"));
    auto close = reinterpret_cast<VFSFileCloseFn>(get("VFSFileClose"));
    for (int round = 0; round < 500; ++round) {
        for (int f = 0; f < 20; ++f) {
            std::string name = "/d" + std::to_string(round % 25) + "/f" + std::to_string(f) + ".txt";
            VfsFileRef ref = 0;
            uint32_t v = 0;
            ASSERT_EQ(0, open(101, name.c_str(), VFS_MODE_READ, &ref));
            ASSERT_EQ(0, date(ref, VFS_DATE_MODIFIED, &v));
            ASSERT_EQ(0, attributes(ref, &v));
            ASSERT_EQ(0, size(ref, &v));
            ASSERT_EQ(1u, v);
            ASSERT_EQ(0, close(ref));
        }
    }
    auto listed = std::chrono::steady_clock::now();
    FreeLibrary(vfs);
    auto ms = [](std::chrono::steady_clock::duration d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    std::printf("load %ld ms, 50000 calls %ld ms\n", static_cast<long>(ms(loaded - start)),
                static_cast<long>(ms(listed - loaded)));
    EXPECT_LT(ms(listed - loaded), 2000);
    EXPECT_GE(StandinTraceCount(), 50000u);
}
