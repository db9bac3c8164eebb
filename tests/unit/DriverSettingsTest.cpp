// Where a new driver object takes its rate, width and buffer size from: its profile section,
// or a shared block the panel or another driver made before it.
#include "InProcessDriver.h"
#include "support/SimSystem.h"

#include "common/SharedBlockAccess.h"

namespace {

void setProfile(const char* key, const char* value) {
    WriteProfileStringA("QvK9AsioDrv", key, value);
}

class DriverSettings : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        useWindows7();
        clearDriverProfile();
    }
    void TearDown() override {
        driver.reset();
        clearDriverProfile();
    }

    long preferred() {
        long mn, mx, pref, gran;
        driver->getBufferSize(&mn, &mx, &pref, &gran);
        return pref;
    }
    double rate() {
        double r = 0;
        driver->getSampleRate(&r);
        return r;
    }

    InProcessDriver driver;
};

} // namespace

TEST_F(DriverSettings, DriverFirstSeedsTheBlockFromItsProfile) {
    setProfile("SampleRate", "48000");
    setProfile("BitPerSample", "24");
    setProfile("PrfBufSize", "512");
    setProfile("UsePrfBufSize", "1");
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(rate(), 48000.0);
    EXPECT_EQ(preferred(), 512);

    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    ASSERT_FALSE(block.created());
    const AsioSharedBlock& b = *block.valid();
    EXPECT_EQ(b.driverLoaded, 1);
    EXPECT_EQ(b.startRate, 48000);
    EXPECT_EQ(b.sampleRate, 48000);
    EXPECT_EQ(b.requestedBits, 24);
    EXPECT_EQ(b.sampleBits, 24);
    EXPECT_EQ(b.requestedFrames, 512);
    EXPECT_EQ(b.useRequestedFrames, 1);
    EXPECT_EQ(b.minBufferFrames, 128);
    EXPECT_EQ(b.maxBufferFrames, 6144);
    EXPECT_EQ(b.granularityFrames, 32);

    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    EXPECT_EQ(b.sampleRate, 96000);
    driver.reset();
    EXPECT_EQ(b.driverLoaded, 0);
    EXPECT_EQ(static_cast<int>(GetProfileIntA("QvK9AsioDrv", "SampleRate", 0)), 96000);
    EXPECT_EQ(static_cast<int>(GetProfileIntA("QvK9AsioDrv", "BitPerSample", 0)), 24);
    EXPECT_EQ(static_cast<int>(GetProfileIntA("QvK9AsioDrv", "UsePrfBufSize", -1)), 1);
}

TEST_F(DriverSettings, AnExistingBlockWinsOverTheProfile) {
    setProfile("SampleRate", "48000");
    setProfile("BitPerSample", "24");
    SharedBlockAccess block; // the panel was first: zeroed, magic only
    ASSERT_TRUE(block.open());
    ASSERT_TRUE(block.created());
    block.raw()->requestedBits = 32;
    block.raw()->useRequestedFrames = 1;
    block.raw()->requestedFrames = 100; // out of range: the rate decides
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(rate(), 44100.0) << "a panel-made block carries no start rate";
    EXPECT_EQ(driver.object().sampleWidth, 32);
    // An NT 6 system: the rate divisor is 20.
    EXPECT_EQ(driver.object().prfBufSize, 44100 / 20);
    EXPECT_EQ(block.raw()->driverLoaded, 1);
}

TEST_F(DriverSettings, ALaterDriverTakesTheFirstDriversRate) {
    setProfile("SampleRate", "88200");
    InProcessDriver first;
    ASSERT_TRUE(first.create());
    setProfile("SampleRate", "8000");
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(rate(), 88200.0);
}

TEST_F(DriverSettings, WidthsTheEngineCannotStreamAreNotTakenOver) {
    setProfile("BitPerSample", "20");
    setProfile("SampleRate", "12345");
    setProfile("PrfBufSize", "50000");
    setProfile("UsePrfBufSize", "1");
    {
        InProcessDriver fromProfile;
        ASSERT_TRUE(fromProfile.create());
        EXPECT_EQ(fromProfile.object().sampleWidth, 16);
        EXPECT_EQ(fromProfile.object().currentRate, 44100.0);
        EXPECT_EQ(fromProfile.object().prfBufSize, 6144);
    }
    clearDriverProfile();
    setProfile("BitPerSample", "24");
    SharedBlockAccess block; // a panel that has not written its width yet
    ASSERT_TRUE(block.open());
    ASSERT_TRUE(driver.create());
    EXPECT_EQ(driver.object().sampleWidth, 24) << "the profile's width stands in for 0";
}
