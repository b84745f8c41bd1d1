// The exports' own code (Exports.cpp) around a conduit object whose every operation throws,
// as a failed allocation deep inside would: each export answers its failure value, logs one
// line, and a session's registration is undone.
#include <gtest/gtest.h>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include "StandinLog.h"
#include "conduit/ConduitExports.h"
#include "conduit/ConduitObject.h"
#include "platform/handheld/StandinDevice.h"

extern "C" {
int32_t __cdecl OpenConduit(void*, SyncProperties*);
int32_t __cdecl GetConduitName(char*, uint16_t);
int32_t __cdecl GetConduitVersion(void);
int32_t __cdecl GetConduitInfo(int32_t, void*, void*, uint32_t*);
int32_t __cdecl ConfigureConduit(void*);
int32_t __cdecl CfgConduit(int32_t, ConduitConfigRecord*, int32_t*);
}

namespace {
class ThrowingConduit : public ConduitBase {
public:
    void GetName(std::string&) override { throw std::bad_alloc(); }
    void Configure(void*) override { throw std::bad_alloc(); }
    void ConfigureAction(int32_t, ConduitConfigRecord*, int32_t*) override { throw std::bad_alloc(); }
    void Synchronize(const SyncProperties*) override { throw std::bad_alloc(); }
};
}  // namespace

// Stands in for the real object, which this program does not link.
ConduitBase& TheConduit() {
    static ThrowingConduit conduit;
    return conduit;
}

TEST(ExportEdge, EveryExportContainsWhatItsWorkThrows) {
    char name[16];
    uint32_t size = sizeof name;
    ConduitConfigRecord record = {};
    record.version = 1;
    int32_t recordSize = 352;
    SyncProperties session = {};  // sync type 0: a HotSync
    SyncProperties doNothing = {};
    doNothing.syncType = 6;
    const std::pair<const char*, std::function<int32_t()>> cases[] = {
        {"GetConduitName", [&] { return GetConduitName(name, sizeof name); }},
        {"GetConduitInfo", [&] { return GetConduitInfo(0, nullptr, name, &size); }},
        {"ConfigureConduit", [&] { return ConfigureConduit(nullptr); }},
        {"CfgConduit", [&] { return CfgConduit(0, &record, &recordSize); }},
        {"OpenConduit", [&] { return OpenConduit(nullptr, &doNothing); }},
        {"OpenConduit", [&] { return OpenConduit(nullptr, &session); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        StandinLogClear();
        StandinTraceClear();
        EXPECT_EQ(CONDUIT_FAILED, c.second());
        ASSERT_EQ(1u, StandinLogCount());
        EXPECT_EQ(std::string("Error in ") + c.first + ": std::bad_alloc", StandinLogText(0));
    }
    // The session's registration was undone on the way out.
    std::string trace;
    for (size_t i = 0; i < StandinTraceCount(); ++i) trace += std::string(StandinTraceLine(i)) + "\n";
    EXPECT_NE(std::string::npos, trace.find("SmRegisterConduit")) << trace;
    EXPECT_NE(std::string::npos, trace.find("SmUnregisterConduit")) << trace;
    EXPECT_EQ(257, GetConduitVersion());
}
