// The record's user name is bounded by its field.
#include <gtest/gtest.h>

#include <cstring>

#include "conduit/config/ConfigChoices.h"

TEST(ConfigUserNameTest, ReadsUpToTheTerminatorOrTheEndOfTheField) {
    ConduitConfigRecord record;
    std::memset(&record, 'Z', sizeof record);
    std::memcpy(record.userName, "Pat\0Old", 8);
    EXPECT_EQ(ConfigUserName(record), "Pat");
    std::memset(record.userName, 'U', sizeof record.userName);
    EXPECT_EQ(ConfigUserName(record), std::string(sizeof record.userName, 'U'));
}
