// A card of 50 000 names must stay a matter of seconds: nothing in a run may grow with
// the square of the number of entries.
#include <chrono>
#include <map>

#include "SyncFixture.h"

namespace {

TEST_F(SyncTest, FiftyThousandEntriesInOneRun) {
    const int kEntries = 50000;
    std::map<std::string, uint32_t> recorded;  // in the entry map's order
    for (int i = 0; i < kEntries; ++i) {
        const std::string name = "/d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".jpg";
        card.put(name, std::string(), 1);
        if (i % 2 == 0) recorded[name] = card.objects[name].time;
    }
    for (int i = 0; i < 100; ++i) card.mkdir("/d" + std::to_string(i) + "/");
    for (int i = 0; i < 300; ++i) writePc("/p" + std::to_string(i) + ".txt", "p", 1);
    std::string stateText;
    for (const auto& line : recorded) appendStateLine(stateText, line.second, 1600000000u, line.first);
    ASSERT_TRUE(writeBytes(pcDir + ".txt", stateText));

    const auto start = std::chrono::steady_clock::now();
    sync(ACTION_DO_NOTHING);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(result);
    EXPECT_LT(seconds, 20.0);
    // Nothing was done, so what the state file held is still there.
    EXPECT_TRUE(stateText == state());  // (not EXPECT_EQ: a diff of megabytes helps nobody)
}

}  // namespace
