// The driver inside a host process and a stand-in panel in another: the commands it sends, in
// order, and the shared block as the panel saw it when each arrived.
#include "asio/DriverIdentity.h"
#include "common/PanelCommands.h"
#include "common/UniqueResource.h"
#include "sim/SimDeviceState.h"
#include "support/DriverProfile.h"
#include "support/RegisteredDriver.h"
#include "support/SimSystem.h"
#include "support/StandInPanel.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void onSwitch(long, ASIOBool) {}
long onMessage(long, long, void*, double*) {
    return 0;
}
ASIOCallbacks hostCallbacks{onSwitch, nullptr, onMessage, nullptr};

class SharedStateScenario : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerDriver(simDriverPath())); }

    void SetUp() override {
        sim::resetToDefaults();
        useWindows7();
        clearDriverProfile();
    }
    void TearDown() override {
        driver.release();
        panel.stop();
        clearDriverProfile();
    }

    // The entry recorded for the n-th occurrence of `command`, or null.
    const PanelLogEntry* find(const std::vector<PanelLogEntry>& log, uint32_t command,
                              int occurrence = 0) {
        for (const PanelLogEntry& e : log) {
            if (e.command == command && occurrence-- == 0)
                return &e;
        }
        return nullptr;
    }

    ComApartment com;
    StandInPanel panel;
    RegisteredDriver driver;
};

} // namespace

TEST_F(SharedStateScenario, DriverFirstPublishesEachStateBeforeItsCommand) {
    WriteProfileStringA("QvK9AsioDrv", "SampleRate", "48000");
    WriteProfileStringA("QvK9AsioDrv", "BitPerSample", "24");
    ASSERT_EQ(driver.create(), S_OK);
    ASSERT_TRUE(panel.start()) << "the panel opens the driver's block without clearing it";

    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long mn, mx, pref, gran;
    driver->getBufferSize(&mn, &mx, &pref, &gran);
    ASIOChannelInfo info{0, ASIOTrue};
    driver->getChannelInfo(&info);
    ASIOBufferInfo infos[] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 3, 256, &hostCallbacks), ASE_OK);
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_EQ(driver->stop(), ASE_OK);
    driver.release();

    const std::vector<uint32_t> expected = {
        ASIOWM_INIT, ASIOWM_GETBUFSIZE, ASIOWM_GETCHANNELINFO, ASIOWM_BUFCREATE,
        ASIOWM_SMPLRATECHANGE, ASIOWM_START, ASIOWM_STOP,
        // The release: stop, the stop inside disposeBuffers, the disposal, the unload.
        ASIOWM_STOP, ASIOWM_STOP, ASIOWM_BUFDISPOSE, ASIOWM_DRVUNLOAD};
    ASSERT_TRUE(panel.waitForEntries(expected.size(), 5000));
    EXPECT_EQ(panel.commands(), expected);

    const std::vector<PanelLogEntry> log = panel.entries();
    const AsioSharedBlock& atInit = find(log, ASIOWM_INIT)->block;
    EXPECT_EQ(atInit.startRate, 48000);
    EXPECT_EQ(atInit.sampleRate, 48000);
    EXPECT_EQ(atInit.requestedBits, 24);
    EXPECT_EQ(atInit.driverLoaded, 1);
    EXPECT_EQ(atInit.inEndpointCount, 1);
    EXPECT_EQ(atInit.outEndpointCount, 1);
    EXPECT_STREQ(atInit.inEndpointNames[0], sim::kDefaultFriendlyName);
    EXPECT_EQ(find(log, ASIOWM_GETBUFSIZE)->block.granularityFrames, 32);
    EXPECT_EQ(find(log, ASIOWM_GETCHANNELINFO)->block.sampleBits, 24);
    const AsioSharedBlock& atCreate = find(log, ASIOWM_BUFCREATE)->block;
    EXPECT_EQ(atCreate.bufferFrames, 256);
    EXPECT_EQ(atCreate.inputChannelsInUse, 1);
    EXPECT_EQ(atCreate.outputChannelsInUse, 2);
    EXPECT_EQ(find(log, ASIOWM_SMPLRATECHANGE)->block.sampleRate, 96000);
    EXPECT_EQ(find(log, ASIOWM_START)->block.streamRunning, 1);
    EXPECT_EQ(find(log, ASIOWM_STOP)->block.streamRunning, 0);
    const AsioSharedBlock& atDispose = find(log, ASIOWM_BUFDISPOSE)->block;
    EXPECT_EQ(atDispose.bufferFrames, 0);
    EXPECT_EQ(atDispose.inputChannelsInUse, 0);
    EXPECT_EQ(atDispose.outputChannelsInUse, 0);
    const AsioSharedBlock& atUnload = find(log, ASIOWM_DRVUNLOAD)->block;
    EXPECT_EQ(atUnload.driverLoaded, 0);
    EXPECT_EQ(atUnload.sampleRate, 96000) << "published fields keep their last values";

    EXPECT_EQ(GetProfileIntA("QvK9AsioDrv", "SampleRate", 0), 96000u)
        << "written once, at destruction";
}

TEST_F(SharedStateScenario, PanelFirstHandsItsChoicesToTheDriver) {
    WriteProfileStringA("QvK9AsioDrv", "SampleRate", "48000");
    ASSERT_TRUE(panel.start("--panel-first 24 512 1"));
    ASSERT_EQ(driver.create(), S_OK);
    ASSERT_TRUE(panel.waitForEntries(1, 5000));
    const std::vector<PanelLogEntry> log = panel.entries();
    ASSERT_EQ(log[0].command, ASIOWM_DRVLOAD);
    const AsioSharedBlock& b = log[0].block;
    EXPECT_EQ(b.driverLoaded, 1);
    EXPECT_EQ(b.sampleRate, 44100) << "a panel-made block starts the driver at 44100 Hz";
    EXPECT_EQ(b.startRate, 0);
    EXPECT_EQ(b.sampleBits, 24);
    EXPECT_EQ(b.preferredFrames, 512);
    EXPECT_EQ(b.minBufferFrames, 128);
    EXPECT_EQ(b.maxBufferFrames, 6144);

    ASIOChannelInfo info{0, ASIOFalse};
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
}

TEST_F(SharedStateScenario, ControlPanelBringsTheRunningPanelForward) {
    ASSERT_TRUE(panel.start());
    ASSERT_EQ(driver.create(), S_OK);
    panel.clearLog();
    ASSERT_EQ(driver->controlPanel(), ASE_OK);
    ASSERT_TRUE(panel.waitForEntries(2, 5000));
    // The panel's timer may take the request before the command arrives; either way the
    // request was set before the command was sent.
    const std::vector<PanelLogEntry> log = panel.entries();
    if (log[0].command == ASIOWM_SHOWCPL) {
        EXPECT_EQ(log[0].block.showPanelRequest, 1) << "the request is set before the command";
        EXPECT_EQ(log[1].command, kShowRequestSeen);
    } else {
        EXPECT_EQ(log[0].command, kShowRequestSeen);
        EXPECT_EQ(log[1].command, ASIOWM_SHOWCPL);
    }
    EXPECT_TRUE(IsWindowVisible(FindWindowA(nullptr, kPanelWindowTitle)));
}

TEST_F(SharedStateScenario, ControlPanelStartsThePanelBesideTheDriver) {
    // A driver installed in a folder of its own, with the panel program beside it.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "QvK9 panel start\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string dll = folder + kDriverModuleName;
    ASSERT_TRUE(CopyFileA(simDriverPath().c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((testProgramFolder() + "PanelStandIn.exe").c_str(),
                          (folder + "QvK9CPL.exe").c_str(), FALSE));
    ASSERT_TRUE(registerDriver(dll));

    ASSERT_EQ(driver.create(), S_OK);
    ASSERT_EQ(FindWindowA(nullptr, kPanelWindowTitle), nullptr);
    ASSERT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(panel.waitForReady(10000)) << "QvK9CPL.exe beside the driver was started";
    ASSERT_TRUE(panel.waitForEntries(1, 5000));
    EXPECT_EQ(panel.commands().front(), kShowRequestSeen)
        << "the started panel answers the request left in the block";
    panel.stop();

    // Neither a panel window nor a registration to find one by.
    ASSERT_TRUE(unregisterDriver(dll));
    EXPECT_EQ(driver->controlPanel(), ASE_NotPresent);
    driver.release();
    ASSERT_TRUE(registerDriver(simDriverPath()));
    DeleteFileA((folder + "QvK9CPL.exe").c_str());
    CoFreeUnusedLibraries();
}
