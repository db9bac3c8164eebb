// The panel's device object beside the ASIO driver: a host streaming through the driver in
// another process, and the shared block seen from both sides.
#include "SimulatedSystem.h"

#include "common/UniqueResource.h"
#include "cpl/device/UsbAudioDevice.h"
#include "support/DriverProfile.h"
#include "support/HostProcess.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class DriverBesidePanel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerDriver(simDriverPath())); }
    void SetUp() override {
        sim::resetToDefaults();
        runAsWindowsXp();
        clearDriverProfile();
    }
    void TearDown() override {
        clearDriverProfile();
        sim::resetToDefaults();
    }
};

} // namespace

TEST_F(DriverBesidePanel, StreamStatusFollowsAHostStreamingInAnotherProcess) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    HostProcess host;
    ASSERT_TRUE(host.start("probe --rate 48000 --bits 24 --seconds 3 --null-window"));

    StreamStatusRecord status = {};
    ASSERT_TRUE(waitUntil(
        [&] {
            return device.QueryStreamStatus(&status) && status.playbackActive &&
                   status.recordActive;
        },
        10000))
        << "the host's streams show as running";
    EXPECT_EQ(status.playbackRate, 48000u);
    EXPECT_EQ(status.recordRate, 48000u);
    EXPECT_EQ(status.playbackBits, 24) << "sent as 32, shown as 24";
    EXPECT_EQ(status.recordBits, 24);
    EXPECT_EQ(status.playbackFixed, 0) << "no fixed format was chosen";

    ASSERT_TRUE(host.waitForEnd(20000));
    ASSERT_TRUE(device.QueryStreamStatus(&status));
    EXPECT_EQ(status.playbackActive, 0);
    EXPECT_EQ(status.recordActive, 0);
}

TEST_F(DriverBesidePanel, AFixedFormatChosenWhileAStreamRunsWaitsForTheNextStream) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DeviceFormatRecord fixed = {sizeof(DeviceFormatRecord), 1, 1, 16, 16, 0, 44100, 44100};
    ASSERT_TRUE(device.AccessFormat(false, &fixed));

    HostProcess host;
    ASSERT_TRUE(host.start("probe --rate 44100 --bits 16 --seconds 3 --null-window"));
    StreamStatusRecord status = {};
    ASSERT_TRUE(waitUntil(
        [&] { return device.QueryStreamStatus(&status) && status.playbackActive; }, 10000));
    EXPECT_EQ(status.playbackFixed, 1) << "the stream runs the fixed choice";

    // Another choice while it runs: taken, but the running stream keeps its format.
    DeviceFormatRecord other = {sizeof(DeviceFormatRecord), 1, 1, 24, 24, 0, 96000, 96000};
    ASSERT_TRUE(device.AccessFormat(false, &other));
    ASSERT_TRUE(device.QueryStreamStatus(&status));
    EXPECT_EQ(status.playbackActive, 1);
    EXPECT_EQ(status.playbackRate, 44100u);
    EXPECT_EQ(status.playbackBits, 16);
    DeviceFormatRecord got = {};
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.playbackRate, 96000u);
    ASSERT_TRUE(host.waitForEnd(20000));
}

TEST_F(DriverBesidePanel, PanelFirstCreatesTheBlockAndALaterDriverStartsAt44100) {
    WriteProfileStringA("QvK9AsioDrv", "SampleRate", "96000");
    CUsbAudioDevice device;
    ASSERT_TRUE(device.OpenAsioShared());
    AsioSharedBlock* block = device.SharedBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->magic, kAsioSharedBlockMagic);
    EXPECT_EQ(block->startRate, 0) << "created by the panel: zero-filled";
    EXPECT_TRUE(device.OpenAsioShared()) << "a second open is a no-op";
    block->requestedBits = 24;

    // A driver constructed in another process opens the panel's block.
    HostProcess host;
    ASSERT_TRUE(host.start("info --null-window"));
    ASSERT_TRUE(host.waitForEnd(20000));
    AsioStateRecord state = {};
    ASSERT_TRUE(device.ReadAsioState(&state));
    EXPECT_FALSE(state.driverLoaded) << "the host has ended";
    EXPECT_EQ(state.sampleRate, 44100u) << "the block's start rate, not the profile's 96000";
    EXPECT_EQ(state.sampleBits, 24u) << "the width the panel chose";
    EXPECT_EQ(block->startRate, 0) << "the panel's block was not created anew";
}

TEST_F(DriverBesidePanel, DriverFirstThePanelReadsItsStateAcrossProcesses) {
    HostProcess host;
    ASSERT_TRUE(host.start("probe --rate 48000 --bits 16 --frames 256 --seconds 3 --null-window"));
    CUsbAudioDevice device;
    AsioStateRecord state = {};
    ASSERT_TRUE(waitUntil(
        [&] {
            return device.OpenAsioShared() && device.ReadAsioState(&state) && state.streamRunning;
        },
        10000));
    EXPECT_TRUE(state.driverLoaded);
    EXPECT_EQ(state.sampleRate, 48000u);
    EXPECT_EQ(state.sampleBits, 16u);
    EXPECT_EQ(state.bufferFrames, 256u);
    EXPECT_EQ(state.outputChannelsInUse, 2u);
    EXPECT_EQ(state.inputChannelsInUse, 2u);
    ASSERT_TRUE(host.waitForEnd(20000));
    ASSERT_TRUE(device.ReadAsioState(&state));
    EXPECT_FALSE(state.driverLoaded);
    EXPECT_FALSE(state.streamRunning);
    EXPECT_EQ(state.bufferFrames, 0u);
}

TEST_F(DriverBesidePanel, ReadAsioStateRefusesABlockWithoutTheMagic) {
    CUsbAudioDevice device;
    AsioStateRecord state = {};
    EXPECT_FALSE(device.ReadAsioState(&state)) << "not open";
    ASSERT_TRUE(device.OpenAsioShared());
    EXPECT_FALSE(device.ReadAsioState(nullptr));
    AsioSharedBlock* block = device.SharedBlock();
    ASSERT_NE(block, nullptr);
    block->magic = 0;
    EXPECT_FALSE(device.ReadAsioState(&state));
    EXPECT_EQ(device.SharedBlock(), nullptr);
    block->magic = kAsioSharedBlockMagic;
    EXPECT_TRUE(device.ReadAsioState(&state));
    device.CloseAsioShared();
    EXPECT_FALSE(device.IsAsioSharedOpen());
    EXPECT_FALSE(device.ReadAsioState(&state));
}
