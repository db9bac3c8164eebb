// A host that makes a second driver object while the first one streams (to look at its
// channels, say) must not lose the first one's stream, its time information, or what the panel
// is told about it.
#include "InProcessDriver.h"

#include "asio/DriverIdentity.h"
#include "common/PanelCommands.h"
#include "support/StandInPanel.h"

#include <atomic>
#include <vector>

namespace {

std::atomic<long> switches{0};
std::atomic<long> plainSwitches{0};
void countSwitch(long, ASIOBool) {
    ++switches;
    ++plainSwitches;
}
ASIOTime* countTimedSwitch(ASIOTime* time, long, ASIOBool) {
    ++switches;
    return time;
}
long supportsTimeInfo(long selector, long, void*, double*) {
    return selector == kAsioSupportsTimeInfo ? 1 : 0;
}
long knowsNothing(long, long, void*, double*) {
    return 0;
}
ASIOCallbacks counting{countSwitch, nullptr, nullptr, nullptr};
// A host that takes only bufferSwitchTimeInfo, and one that gives both callbacks.
ASIOCallbacks timedOnly{nullptr, nullptr, supportsTimeInfo, countTimedSwitch};
ASIOCallbacks timedAndPlain{countSwitch, nullptr, supportsTimeInfo, countTimedSwitch};
// What a scanning host hands its second object: no time information.
ASIOCallbacks scanning{countSwitch, nullptr, knowsNothing, nullptr};

bool switchesAdvance() {
    const long before = switches.load();
    for (int i = 0; i < 300; ++i) {
        if (switches.load() >= before + 5)
            return true;
        Sleep(10);
    }
    return false;
}

// The fields a driver publishes about its device and stream.
struct Published {
    int32_t driverLoaded, streamRunning, sampleRate, sampleBits, preferredFrames, bufferFrames,
        outputChannelsInUse, inputChannelsInUse, outEndpointCount, inEndpointCount;

    static Published of(const AsioSharedBlock& b) {
        return {b.driverLoaded,     b.streamRunning,  b.sampleRate,          b.sampleBits,
                b.preferredFrames,  b.bufferFrames,   b.outputChannelsInUse, b.inputChannelsInUse,
                b.outEndpointCount, b.inEndpointCount};
    }
    bool operator==(const Published&) const = default;
};

// A second object made and used as a scanning host does, then released.
void scanWithASecondObject() {
    InProcessDriver second;
    ASSERT_TRUE(second.create());
    EXPECT_EQ(second->init(nullptr), ASIOFalse);
    char text[128] = {};
    second->getErrorMessage(text);
    EXPECT_STREQ(text, "ASIO Driver open failure!");
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    EXPECT_EQ(second->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(second->setSampleRate(96000.0), ASE_OK);
    ASIOBufferInfo none[1];
    EXPECT_EQ(second->createBuffers(none, 0, 256, &scanning), ASE_OK);
    EXPECT_EQ(second->start(), ASE_NotPresent);
    EXPECT_EQ(second->stop(), ASE_OK);
    EXPECT_EQ(second->disposeBuffers(), ASE_OK);
} // released while the first streams

class TwoDriversInOneHost : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        switches = 0;
        plainSwitches = 0;
    }
    void TearDown() override {
        first.reset();
        panel.stop();
        sim::resetToDefaults();
        clearDriverProfile();
    }

    void startFirst(ASIOCallbacks* callbacks) {
        ASSERT_TRUE(first.create());
        ASSERT_EQ(first->init(nullptr), ASIOTrue);
        ASIOBufferInfo infos[] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
        ASSERT_EQ(first->createBuffers(infos, 3, 256, callbacks), ASE_OK);
        ASSERT_EQ(first->start(), ASE_OK);
        ASSERT_TRUE(switchesAdvance());
    }

    InProcessDriver first;
    StandInPanel panel;
};

} // namespace

TEST_F(TwoDriversInOneHost, TheSecondCannotTakeTheDeviceFromTheFirst) {
    startFirst(&counting);
    scanWithASecondObject();
    EXPECT_TRUE(switchesAdvance()) << "the first object still streams";
    EXPECT_EQ(first->stop(), ASE_OK);
    first.reset();

    InProcessDriver third;
    ASSERT_TRUE(third.create());
    EXPECT_EQ(third->init(nullptr), ASIOTrue) << "the device is free again";
}

TEST_F(TwoDriversInOneHost, AHostOnTimeInfoOnlyKeepsItsSwitches) {
    startFirst(&timedOnly);
    scanWithASecondObject();
    EXPECT_TRUE(switchesAdvance()) << "bufferSwitchTimeInfo still comes";
    EXPECT_TRUE(first.object().isRunning.load());
}

TEST_F(TwoDriversInOneHost, AHostWithBothCallbacksKeepsItsTimeInformation) {
    startFirst(&timedAndPlain);
    scanWithASecondObject();
    EXPECT_TRUE(switchesAdvance());
    EXPECT_EQ(plainSwitches.load(), 0) << "never moved to plain bufferSwitch";
}

// A scanning object asks for a rate the device never runs; released after the streaming one,
// it must not store that rate over the one the streaming object stored.
TEST_F(TwoDriversInOneHost, TheSecondLeavesTheStoredSettingsAsTheStreamingOneLeftThem) {
    startFirst(&counting);
    const auto storedRate = [] { return GetProfileIntA(kDriverProfileSection, "SampleRate", 0); };
    {
        InProcessDriver second;
        ASSERT_TRUE(second.create());
        EXPECT_EQ(second->init(nullptr), ASIOFalse);
        EXPECT_EQ(second->setSampleRate(96000.0), ASE_OK);
        EXPECT_EQ(first->stop(), ASE_OK);
        first.reset();
        EXPECT_EQ(storedRate(), 44100u);
    }
    EXPECT_EQ(storedRate(), 44100u);

    // An object that takes the device once it is free stores its own settings as before.
    InProcessDriver third;
    ASSERT_TRUE(third.create());
    ASSERT_EQ(third->init(nullptr), ASIOTrue);
    EXPECT_EQ(third->setSampleRate(48000.0), ASE_OK);
    third.reset();
    EXPECT_EQ(storedRate(), 48000u);
}

TEST_F(TwoDriversInOneHost, TheSecondPublishesNothingAndTellsThePanelNothing) {
    ASSERT_TRUE(panel.start());
    startFirst(&timedOnly);
    SharedBlockAccess view;
    ASSERT_TRUE(view.open());
    ASSERT_NE(view.valid(), nullptr);
    const Published streaming = Published::of(*view.raw());
    EXPECT_EQ(streaming.driverLoaded, 1);
    EXPECT_EQ(streaming.streamRunning, 1);
    EXPECT_EQ(streaming.bufferFrames, 256);
    EXPECT_EQ(streaming.outputChannelsInUse, 2);
    EXPECT_EQ(streaming.inputChannelsInUse, 1);
    ASSERT_TRUE(panel.waitForEntries(1, 5000));
    Sleep(100); // the first object's own commands are all in
    panel.clearLog();

    scanWithASecondObject();
    EXPECT_TRUE(Published::of(*view.raw()) == streaming) << "the first one's stream as it was";
    Sleep(100);
    const std::vector<uint32_t> commands = panel.commands();
    EXPECT_TRUE(commands.empty()) << commands.size() << " commands, the first 0x" << std::hex
                                  << (commands.empty() ? 0u : commands.front());

    // The first object speaks for the device again as before.
    first.reset();
    EXPECT_EQ(view.raw()->driverLoaded, 0);
    EXPECT_EQ(view.raw()->streamRunning, 0);
    EXPECT_EQ(view.raw()->bufferFrames, 0);
    ASSERT_TRUE(panel.waitForEntries(4, 5000));
    EXPECT_EQ(panel.commands().back(), uint32_t{ASIOWM_DRVUNLOAD});
}
