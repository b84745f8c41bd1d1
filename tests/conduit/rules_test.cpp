// The session's rules that need no window or handheld.
#include <gtest/gtest.h>
#include "conduit/DriverRules.h"
#include "conduit/ProgressWindowSink.h"
#include "conduit/VersionLine.h"

TEST(UserFolderOf, CutsAtTheLastBackslashIgnoringATrailingOne) {
    EXPECT_EQ("C:\\Palm\\Ann", UserFolderOf("C:\\Palm\\Ann\\Tarnwick\\"));
    EXPECT_EQ("C:\\Palm\\Ann", UserFolderOf("C:\\Palm\\Ann\\Tarnwick"));
    EXPECT_EQ("C:", UserFolderOf("C:\\Tarnwick\\"));
    EXPECT_EQ("Tarnwick", UserFolderOf("Tarnwick"));
    EXPECT_EQ("Tarnwick\\", UserFolderOf("Tarnwick\\"));
    EXPECT_EQ("", UserFolderOf(""));
}

TEST(CreatorIsClaimed, SecondQueryFirstThenTheFirstThenBothUnknown) {
    EXPECT_TRUE(CreatorIsClaimed(5, 3, 0, 0));    // B answered, not 3
    EXPECT_TRUE(CreatorIsClaimed(0, 0, 0, 3));    // B is 3, A answered, not 3
    EXPECT_FALSE(CreatorIsClaimed(0, 3, 0, 3));   // both 3
    EXPECT_FALSE(CreatorIsClaimed(0, 3, 7, 0));   // A is 3, B failed
    EXPECT_TRUE(CreatorIsClaimed(-1, 0, -1, 0));  // both unknown
    EXPECT_FALSE(CreatorIsClaimed(-1, 0, 7, 0));
    EXPECT_FALSE(CreatorIsClaimed(2, 0, -1, 0));
}

TEST(DriverLines, VolumeErrorsInLowerCaseHex) {
    EXPECT_EQ("Error: 102:2a01", VolumeStepErrorLine(102, 10753));
    EXPECT_EQ("Error: 101:ffffffff", VolumeStepErrorLine(101, -1));
}

TEST(ProgressFileText, WholeKilobytesAtLeastOne) {
    EXPECT_EQ("a", ProgressFileText("a", 0));
    EXPECT_EQ("a (1KB)", ProgressFileText("a", 100));
    EXPECT_EQ("a (2KB)", ProgressFileText("a", 2048));
    EXPECT_EQ("a (1500KB)", ProgressFileText("a", 1536000));
    EXPECT_EQ("a (4194304KB)", ProgressFileText("a", 0xFFFFFFFFu));
}

TEST(VersionNumbers, ThirdNumberIsTheFourthComponent) {
    VersionNumbers v = VersionNumbersOf(0x00030001, 0x00040007);  // 3.1.4.7
    EXPECT_EQ(3, v.first);
    EXPECT_EQ(1, v.second);
    EXPECT_EQ(7, v.third);
    EXPECT_EQ(0, std::string(VersionLine()).find("Tarnwick Version 1.1.0"));
}
