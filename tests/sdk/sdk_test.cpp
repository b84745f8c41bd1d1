// The fixed-layout records are checked at compile time by their headers; this suite
// checks that they also have the sizes HotSync passes at run time.
#include <gtest/gtest.h>
#include "ConduitRecords.h"
#include "HotSyncApi.h"

TEST(SdkRecords, SizesMatchTheWireFormat) {
    EXPECT_EQ(352u, sizeof(ConduitConfigRecord));
    EXPECT_EQ(38u, sizeof(SmRemoteCall));
    EXPECT_EQ(114u, sizeof(SmOpenDbInfo));
    EXPECT_EQ(28u, sizeof(SmRawRecord));
}
