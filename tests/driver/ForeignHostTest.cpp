// The driver as a host built apart from us sees it: plain C, its own structure declarations,
// raw vtable slots called with the thiscall convention.
#include "support/TestProcess.h"

#include <gtest/gtest.h>

TEST(ForeignHost, PlainCHostDrivesTheRegisteredDriverThroughRawSlots) {
    ASSERT_TRUE(registerDriver(simDriverPath()));
    DWORD code = 99;
    ASSERT_TRUE(runAndWait("\"" + testProgramFolder() + "CVtableHost.exe\"", 60000, &code));
    EXPECT_EQ(code, 0u) << "the C host's own checks failed; its output says which";
}

#include "support/RegisteredDriver.h"

// The shipped build speaks to the real wave functions: on a machine without the device (Wine
// has no sound hardware here) it loads, refuses to open, and says why.
TEST(ShippedDriver, LoadsAndRefusesToOpenWithoutTheDevice) {
    ASSERT_TRUE(registerDriver(shippedDriverPath()));
    {
        ComApartment com;
        RegisteredDriver driver;
        ASSERT_EQ(driver.create(), S_OK);
        EXPECT_EQ(driver->init(nullptr), ASIOFalse);
        char text[128] = {};
        driver->getErrorMessage(text);
        EXPECT_STREQ(text, "ASIO Driver open failure!");
        long in = -1, out = -1;
        EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
        EXPECT_EQ(in + out, 0);
        EXPECT_EQ(driver->start(), ASE_NotPresent);
        EXPECT_EQ(driver->stop(), ASE_OK);
    }
    ASSERT_TRUE(registerDriver(simDriverPath()));
}
