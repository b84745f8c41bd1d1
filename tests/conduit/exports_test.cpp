// The six exports of the real Tarnwick.dll, loaded as HotSync loads it.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <windows.h>
#include "StandinLog.h"
#include "conduit/ConduitExports.h"

namespace {
class ConduitDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryA("Tarnwick.dll"); }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(nullptr, module_) << "Tarnwick.dll did not load";
        StandinLogClear();
    }
    template <typename Fn>
    Fn call(const char* name) {
        Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        EXPECT_NE(nullptr, fn) << name;
        return fn;
    }
    static HMODULE module_;
};
HMODULE ConduitDll::module_ = nullptr;

ConduitConfigRecord validRecord() {
    ConduitConfigRecord record = {};
    record.version = 1;
    std::strcpy(record.userName, "Exports User");
    record.chosenAction = 77;
    return record;
}
}  // namespace

TEST_F(ConduitDll, VersionAndNameCopiedIntoShortAndLongBuffers) {
    EXPECT_EQ(257, call<GetConduitVersionFn>("GetConduitVersion")());

    auto getName = call<GetConduitNameFn>("GetConduitName");
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, getName(buffer, 5));
    EXPECT_EQ(std::string("Tarn"), std::string(buffer));
    EXPECT_EQ('x', buffer[5]);  // nothing written past the given length

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, getName(buffer, 12));
    EXPECT_EQ(std::string("Tarnwick"), std::string(buffer));
    for (int i = 8; i < 12; ++i) EXPECT_EQ(0, buffer[i]) << i;  // padded with zeros
    EXPECT_EQ('x', buffer[12]);

    // Only the low 16 bits of the length count: 0x10005 is 5.
    std::memset(buffer, 'x', sizeof buffer);
    using WideLengthFn = int32_t(__cdecl*)(char*, uint32_t);
    EXPECT_EQ(0, call<WideLengthFn>("GetConduitName")(buffer, 0x10005));
    EXPECT_EQ(std::string("Tarn"), std::string(buffer));

    // No room at all: nothing is written, not even a terminator before the buffer.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, getName(buffer + 1, 0));
    EXPECT_EQ('x', buffer[0]);
    EXPECT_EQ('x', buffer[1]);
}

TEST_F(ConduitDll, InfoChecksOutputThenSizeThenKind) {
    auto info = call<GetConduitInfoFn>("GetConduitInfo");
    uint32_t out = 0xAAAAAAAA;
    uint32_t size = 4;
    EXPECT_EQ(4209, info(1, nullptr, nullptr, nullptr));
    EXPECT_EQ(4209, info(1, nullptr, nullptr, &size));
    EXPECT_EQ(4215, info(1, nullptr, &out, nullptr));
    EXPECT_EQ(4208, info(3, nullptr, &out, &size));
    EXPECT_EQ(4208, info(-1, nullptr, &out, &size));

    EXPECT_EQ(0, info(1, nullptr, &out, &size));
    EXPECT_EQ(0x10000000u, out);
    out = 0xAAAAAAAA;
    EXPECT_EQ(0, info(2, nullptr, &out, &size));
    EXPECT_EQ(0u, out);
    EXPECT_EQ(4u, size);  // the size is never written

    uint32_t wide[2] = {0xAAAAAAAA, 0xAAAAAAAA};
    size = 8;
    EXPECT_EQ(4211, info(1, nullptr, wide, &size));
    EXPECT_EQ(4211, info(2, nullptr, wide, &size));
    EXPECT_EQ(0xAAAAAAAAu, wide[0]);

    char name[8];
    std::memset(name, 'x', sizeof name);
    size = 5;
    EXPECT_EQ(0, info(0, nullptr, name, &size));
    EXPECT_EQ(std::string("Tarn"), std::string(name));
    EXPECT_EQ(0, name[4]);
    EXPECT_EQ(5u, size);
}

TEST_F(ConduitDll, CfgChecksInOrderAndLeavesRejectedRecordsAlone) {
    auto cfg = call<CfgConduitFn>("CfgConduit");
    ConduitConfigRecord record = validRecord();
    int32_t size = 352;
    int32_t shortSize = 351;
    EXPECT_EQ(4212, cfg(1, nullptr, nullptr));
    EXPECT_EQ(4216, cfg(1, &record, nullptr));
    EXPECT_EQ(4218, cfg(1, &record, &shortSize));  // the size is checked before the type
    EXPECT_EQ(4217, cfg(1, &record, &size));
    record.version = 2;
    EXPECT_EQ(4218, cfg(0, &record, &shortSize));
    EXPECT_EQ(4219, cfg(0, &record, &size));
    EXPECT_EQ(77, record.chosenAction);
    EXPECT_EQ(0, record.setAsDefault);
    EXPECT_EQ(0u, StandinLogCount());  // argument errors are never logged

    EXPECT_EQ(0, call<ConfigureConduitFn>("ConfigureConduit")(nullptr));
}

TEST_F(ConduitDll, DoNothingLogsOneLineAndOtherTypesNothing) {
    auto open = call<OpenConduitFn>("OpenConduit");
    SyncProperties properties = {};
    std::strcpy(properties.pcFolder, "C:\\nowhere\\");
    std::strcpy(properties.userName, "Exports User");

    properties.syncType = 6;
    EXPECT_EQ(0, open(nullptr, &properties));
    ASSERT_EQ(1u, StandinLogCount());
    EXPECT_STREQ("Tarnwick Conduit configured to Do Nothing", StandinLogText(0));
    EXPECT_EQ(-1, StandinLogActivity(0));
    EXPECT_EQ(0, StandinLogFlag(0));

    StandinLogClear();
    for (int32_t type : {4, 5, 7, -1}) {
        properties.syncType = type;
        EXPECT_EQ(0, open(nullptr, &properties)) << type;
    }
    EXPECT_EQ(0u, StandinLogCount());
    EXPECT_EQ(0, open(nullptr, nullptr));
}
