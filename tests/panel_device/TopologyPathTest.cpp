// The topology path: finding the device's filter by its service, and the format and stream
// status requests it answers.
#include "SimulatedSystem.h"

#include "cpl/device/TopologyInterface.h"
#include "cpl/device/UsbAudioDevice.h"
#include "sim/SimDevicePlug.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class TopologyPath : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        runAsWindowsXp();
    }
    void TearDown() override { sim::resetToDefaults(); }

    sim::SimTopologyFilter& filter(int i) { return sim::state()->topologyFilters[i]; }
};

} // namespace

TEST_F(TopologyPath, FindsTheFilterByItsServiceNotByItsPlaceInTheList) {
    char path[kTopologyPathChars];
    ASSERT_TRUE(FindTopologyInterface(path));
    EXPECT_STREQ(path, sim::kDefaultTopologyPath);

    // The service name must match exactly: neither another case nor a longer name will do.
    std::strcpy(filter(0).service, "caqvk9");
    std::strcpy(filter(1).service, "CaQvK9x");
    EXPECT_FALSE(FindTopologyInterface(path));
    EXPECT_STREQ(path, "");

    std::strcpy(filter(1).service, "CaQvK9");
    sim::unplug();
    EXPECT_FALSE(FindTopologyInterface(path)) << "an unplugged device's filter is not present";
}

TEST_F(TopologyPath, OpenTakesTheFilterAndASecondOpenFindsNothingAnew) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.HasPlatformInfo());
    EXPECT_FALSE(device.UsesEndpointPath());
    EXPECT_FALSE(device.IsOpen());
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_TRUE(device.HasTopologyHandle());

    sim::state()->topologyFilterCount = 0;
    EXPECT_TRUE(device.Open(nullptr)) << "already open";
    EXPECT_TRUE(device.HasTopologyHandle());

    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.HasTopologyHandle());
    EXPECT_FALSE(device.Open(nullptr)) << "no filter any more";
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(TopologyPath, OpenFailsWithoutTheDeviceOrWhenItsFilterWillNotOpen) {
    CUsbAudioDevice device;
    sim::unplug();
    EXPECT_FALSE(device.Open(nullptr));
    sim::plug();
    sim::state()->faults.topologyOpenFails = 1;
    EXPECT_FALSE(device.Open(nullptr));
    EXPECT_FALSE(device.HasTopologyHandle());
    sim::state()->faults.topologyOpenFails = 0;
    EXPECT_TRUE(device.Open(nullptr));
}

TEST_F(TopologyPath, WindowsEightAndLaterTakeTheTopologyPathThoughTheirMajorVersionIsSix) {
    runAsWindows(6, 2);
    CUsbAudioDevice device;
    EXPECT_FALSE(device.UsesEndpointPath());
    EXPECT_TRUE(device.Open(nullptr));
    EXPECT_TRUE(device.HasTopologyHandle());
}

TEST_F(TopologyPath, AFormatSetThenReadBackTravelsWith24BitsAs32) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    DeviceFormatRecord set = {sizeof(DeviceFormatRecord), 1, 1, 24, 16, 0x5A5A, 96000, 44100};
    ASSERT_TRUE(device.AccessFormat(false, &set));
    EXPECT_EQ(set.reserved, 0) << "the reserved bytes go out as zero";
    EXPECT_EQ(set.playbackBits, 32) << "the record went out with 32";
    EXPECT_EQ(sim::state()->chosenFormat[0].wireBits, 32);
    EXPECT_EQ(sim::state()->chosenFormat[0].rate, 96000u);
    EXPECT_EQ(sim::state()->chosenFormat[1].wireBits, 16);

    DeviceFormatRecord got = {};
    got.playbackBits = 24; // what the page asks with; the answer is the driver's
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.playbackFixed, 1);
    EXPECT_EQ(got.recordFixed, 1);
    EXPECT_EQ(got.playbackBits, 32) << "a get answers as the driver wrote it";
    EXPECT_EQ(got.recordBits, 16);
    EXPECT_EQ(got.playbackRate, 96000u);
    EXPECT_EQ(got.recordRate, 44100u);

    // Automatic again: bits and rate 0.
    DeviceFormatRecord automatic = {sizeof(DeviceFormatRecord), 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(device.AccessFormat(false, &automatic));
    ASSERT_TRUE(device.AccessFormat(true, &got));
    EXPECT_EQ(got.playbackFixed, 0);
    EXPECT_EQ(got.playbackRate, 0u);
    EXPECT_EQ(got.recordBits, 0);
}

TEST_F(TopologyPath, RequestsFailCleanly) {
    CUsbAudioDevice device;
    DeviceFormatRecord format = {sizeof(DeviceFormatRecord), 1, 1, 16, 16, 0, 48000, 48000};
    StreamStatusRecord status = {};
    EXPECT_FALSE(device.AccessFormat(true, &format)) << "not open";
    EXPECT_FALSE(device.QueryStreamStatus(&status));
    ASSERT_TRUE(device.Open(nullptr));
    EXPECT_FALSE(device.AccessFormat(true, nullptr));
    EXPECT_FALSE(device.QueryStreamStatus(nullptr));

    DeviceFormatRecord odd = {sizeof(DeviceFormatRecord), 1, 1, 16, 16, 0, 12345, 48000};
    EXPECT_FALSE(device.AccessFormat(false, &odd)) << "the device refuses a rate it cannot run";

    sim::state()->faults.topologyRequestFails = 1;
    EXPECT_FALSE(device.AccessFormat(false, &format));
    EXPECT_FALSE(device.AccessFormat(true, &format));
    EXPECT_FALSE(device.QueryStreamStatus(&status));
    sim::state()->faults.topologyRequestFails = 0;

    sim::unplug();
    EXPECT_FALSE(device.QueryStreamStatus(&status)) << "the handle is left, the device is gone";
    sim::plug();
    EXPECT_TRUE(device.QueryStreamStatus(&status));
}

TEST_F(TopologyPath, StreamStatusReportsWhatRunsWith32BitsShownAs24) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    StreamStatusRecord status = {};
    ASSERT_TRUE(device.QueryStreamStatus(&status));
    EXPECT_EQ(status.playbackActive, 0);
    EXPECT_EQ(status.recordActive, 0);

    sim::SimStreamActivity& play = sim::state()->streamActivity[0];
    play.rate = 48000;
    play.wireBits = 32;
    play.fixed = 1;
    play.running = 1;
    ASSERT_TRUE(device.QueryStreamStatus(&status));
    EXPECT_EQ(status.playbackActive, 1);
    EXPECT_EQ(status.playbackFixed, 1);
    EXPECT_EQ(status.playbackBits, 24);
    EXPECT_EQ(status.playbackRate, 48000u);
    EXPECT_EQ(status.recordActive, 0);
}

// A request has no time-out: a slow filter holds the caller for as long as it takes.
TEST_F(TopologyPath, ASlowFilterDelaysTheRequestButItStillCompletes) {
    CUsbAudioDevice device;
    ASSERT_TRUE(device.Open(nullptr));
    sim::state()->faults.topologyRequestDelayMs = 300;
    StreamStatusRecord status = {};
    const DWORD start = GetTickCount();
    EXPECT_TRUE(device.QueryStreamStatus(&status));
    EXPECT_GE(GetTickCount() - start, 250u);
}

TEST(VidPidMi, ReadsTheIdentityOfAnyCase) {
    char path[] = "\\\\?\\usb#vid_1852&pid_7022&mi_01#7&1a2b#{guid}";
    WORD vid = 0, pid = 0, mi = 0;
    EXPECT_TRUE(CUsbAudioDevice::ParseVidPidMi(path, &vid, &pid, &mi));
    EXPECT_EQ(vid, 0x1852);
    EXPECT_EQ(pid, 0x7022);
    EXPECT_EQ(mi, 1);
    EXPECT_STREQ(path, "\\\\?\\USB#VID_1852&PID_7022&MI_01#7&1A2B#{GUID}")
        << "upper-cased in place";
}

TEST(VidPidMi, EdgesOfThePath) {
    WORD vid = 0, pid = 0, mi = 0;
    char noMi[] = "USB\\VID_1852&PID_7022\\5&1";
    EXPECT_FALSE(CUsbAudioDevice::ParseVidPidMi(noMi, &vid, &pid, &mi));
    EXPECT_EQ(vid, 0x1852) << "vid and pid are set before MI_ is missed";
    EXPECT_EQ(pid, 0x7022);
    EXPECT_EQ(mi, 255);

    char noVid[] = "USB\\PID_7022&MI_01";
    EXPECT_FALSE(CUsbAudioDevice::ParseVidPidMi(noVid, &vid, &pid, &mi));
    EXPECT_EQ(vid, 255);

    char shortTail[] = "VID_18";
    EXPECT_FALSE(CUsbAudioDevice::ParseVidPidMi(shortTail, &vid, &pid, &mi));
    EXPECT_EQ(vid, 255) << "fewer than 4 characters after the marker: not read";

    char stops[] = "VID_1G52&PID_7022&MI_0";
    EXPECT_TRUE(CUsbAudioDevice::ParseVidPidMi(stops, &vid, &pid, &mi));
    EXPECT_EQ(vid, 0x1) << "reading stops at the first non-hexadecimal character";
    EXPECT_EQ(mi, 255) << "one character after MI_ is too few";

    EXPECT_FALSE(CUsbAudioDevice::ParseVidPidMi(nullptr, &vid, &pid, &mi));
}
