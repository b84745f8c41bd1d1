// Nothing in a run may grow faster than the number of entries. A HotSync with nothing to do
// over N names and over 4N names, in one run, must cost about the same per name: the
// machine's speed cancels out, and a pass that grew with the square of the entries would
// cost four times as much per name at 4N.
#include <map>

#include "SyncFixture.h"
#include "tests/common/Timing.h"

namespace {

class ScaleTest : public SyncTest {
protected:
    // Seconds per name of the fastest of three HotSyncs with nothing to do over a card of
    // `entries` names in a hundred folders, half of them recorded in the state file, and a
    // PC side with a file for every hundred names.
    double secondsPerEntry(int entries) {
        fresh();
        std::map<std::string, uint32_t> recorded;  // in the entry map's order
        for (int i = 0; i < entries; ++i) {
            const std::string name = "/d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".jpg";
            card.put(name, std::string(), 1);
            if (i % 2 == 0) recorded[name] = card.objects[name].time;
        }
        for (int i = 0; i < 100; ++i) card.mkdir("/d" + std::to_string(i) + "/");
        for (int i = 0; i < entries / 100; ++i) writePc("/p" + std::to_string(i) + ".txt", "p", 1);
        std::string stateText;
        for (const auto& line : recorded) appendStateLine(stateText, line.second, 1600000000u, line.first);
        EXPECT_TRUE(writeBytes(pcDir + ".txt", stateText));

        const double seconds = fastestSeconds(3, [&] {
            sync(ACTION_DO_NOTHING);
            EXPECT_TRUE(result);
        });
        // Nothing was done, so what the state file held is still there.
        EXPECT_TRUE(stateText == state());  // (not EXPECT_EQ: a diff of megabytes helps nobody)
        return seconds / entries;
    }
};

TEST_F(ScaleTest, TimePerEntryDoesNotGrowWithTheCard) {
    expectCostPerUnitFlat(10000, [this](int entries) { return secondsPerEntry(entries); }, "entry");
}

}  // namespace
