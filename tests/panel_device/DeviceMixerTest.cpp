// The device's Windows mixer: found by its path among others, and its line table.
#include "SimulatedSystem.h"

#include "cpl/device/DeviceMixer.h"
#include "cpl/device/UsbAudioDevice.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

class DeviceMixer : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        runAsWindowsXp();
    }
    void TearDown() override { sim::resetToDefaults(); }
    sim::SimMixerDevice& mixerDevice(int i) { return sim::state()->mixers[i]; }
};

} // namespace

TEST_F(DeviceMixer, FindsTheDeviceMixerAndReadsItsLineTable) {
    CDeviceMixer mixer;
    ASSERT_EQ(mixer.OpenDeviceMixer(nullptr), MMSYSERR_NOERROR);
    EXPECT_NE(mixer.Handle(), nullptr);
    EXPECT_STREQ(mixer.Caps().szPname, "Quenvora-K9 Mixer")
        << "the other device's mixer and the one without a path are passed over";
    ASSERT_EQ(mixer.DestinationCount(), 3);
    const auto& d = mixer.Destinations();
    ASSERT_EQ(d.size(), 3u);

    EXPECT_EQ(d[0].controls.size(), 2u);
    ASSERT_EQ(d[0].sources.size(), 1u);
    EXPECT_EQ(d[0].sources[0].controls.size(), 1u);
    EXPECT_TRUE(d[0].controls[0].listTexts.empty());

    // Four channels and a list of three items over two sources.
    ASSERT_EQ(d[1].sources.size(), 2u);
    EXPECT_TRUE(d[1].sources[1].controls.empty()) << "a line without controls";
    ASSERT_EQ(d[1].controls.size(), 1u);
    const MixerControlRecord& list = d[1].controls[0];
    EXPECT_EQ(list.channels, 4u);
    ASSERT_GE(list.listTexts.size(), 12u) << "one text per item and channel";
    EXPECT_STREQ(list.listTexts[0].szName, "Line");
    EXPECT_STREQ(list.listTexts[11].szName, "Stereo Mix");
    ASSERT_EQ(list.listSources.size(), 3u);
    EXPECT_EQ(list.listSources[0], d[1].sources[0].line.dwLineID);
    EXPECT_EQ(list.listSources[1], d[1].sources[1].line.dwLineID);
    EXPECT_EQ(list.listSources[2], kNoSourceLine) << "no source is read past the last";

    EXPECT_TRUE(d[2].sources.empty());
    EXPECT_TRUE(d[2].controls.empty());

    mixer.FreeLineTable();
    EXPECT_TRUE(mixer.Destinations().empty());
    mixer.CloseMixer();
    EXPECT_EQ(mixer.Handle(), nullptr);
}

TEST_F(DeviceMixer, TheLowerOfTwoDeviceMixersIsTakenAndPathsWithoutMiNeverMatch) {
    std::wcscpy(mixerDevice(1).interfacePath, L"\\\\?\\usb#vid_1852&pid_7022#5&1#{x}\\topology");
    mixerDevice(1).ofDevice = 1;
    CDeviceMixer mixer;
    ASSERT_EQ(mixer.OpenDeviceMixer(nullptr), MMSYSERR_NOERROR);
    EXPECT_STREQ(mixer.Caps().szPname, "Quenvora-K9 Mixer") << "no MI_: not the device's";

    std::wcscpy(mixerDevice(1).interfacePath, sim::kDefaultMixerPath);
    ASSERT_EQ(mixer.OpenDeviceMixer(nullptr), MMSYSERR_NOERROR) << "a second open replaces";
    EXPECT_STREQ(mixer.Caps().szPname, "Legacy Mixer");

    sim::state()->mixerCount = 1;
    CDeviceMixer none;
    EXPECT_EQ(none.OpenDeviceMixer(nullptr), MMSYSERR_NODRIVER);
    EXPECT_EQ(none.Handle(), nullptr);
}

TEST_F(DeviceMixer, AFailedDestinationQueryFreesTheTableAndKeepsTheMixerOpen) {
    mixerDevice(2).destinationQueryFails = 1;
    CDeviceMixer mixer;
    EXPECT_NE(mixer.OpenDeviceMixer(nullptr), MMSYSERR_NOERROR);
    EXPECT_TRUE(mixer.Destinations().empty());
    EXPECT_NE(mixer.Handle(), nullptr);
}

TEST_F(DeviceMixer, TheDeviceObjectOpensAndClosesItsMixerOnTheTopologyPath) {
    CUsbAudioDevice device;
    ASSERT_NE(device.Mixer(), nullptr);
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_NE(device.Mixer()->Handle(), nullptr);
    EXPECT_EQ(device.Mixer()->Destinations().size(), 3u);
    device.Close();
    EXPECT_EQ(device.Mixer()->Handle(), nullptr);
    EXPECT_TRUE(device.Mixer()->Destinations().empty());

    sim::state()->mixerCount = 0;
    EXPECT_TRUE(device.Open(nullptr)) << "the mixer does not decide the open";
}
