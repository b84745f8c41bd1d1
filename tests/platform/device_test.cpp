// The simulated handheld driven call by call, as the conduit would drive it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HotSyncApi.h"
#include "StandinDevice.h"
#include "TestDevice.h"

TEST(Device, LoadNeedsDeviceIni) {
    EXPECT_NE(0, StandinDeviceLoad("C:\\no\\such\\folder"));
    TestDevice device("[Device]\nCompanion=2\n");
    EXPECT_EQ(0, device.load());
}

TEST(Device, RegistrationWorksAndAFaultFiresOnlyOnItsOccurrence) {
    TestDevice device("[Device]\n[Faults]\nF1=SmRegisterConduit nth=2 result=4660\n");
    ASSERT_EQ(0, device.load());
    uint32_t first = 0, second = 0, third = 0;
    EXPECT_EQ(0, SmRegisterConduit(&first));
    EXPECT_EQ(4660, SmRegisterConduit(&second));
    EXPECT_EQ(0, SmRegisterConduit(&third));
    EXPECT_NE(first, third);
    EXPECT_EQ(0, SmUnregisterConduit(first));
    EXPECT_EQ(0, SyncYieldCycles(1));
    EXPECT_EQ(1, StandinFaultFired());
    EXPECT_NE(std::string::npos, traceLines().find("SmRegisterConduit\t\t4660\tinjected"));
}
