// The real panel beside the real simulated-device driver: a host streaming in a process of its
// own, and the driver loaded into the test itself as a host loads it.
#include "asio/AsioInterface.h"
#include "common/PanelCommands.h"
#include "cpl/ui/Resource.h"
#include "sim/SimDeviceState.h"
#include "support/DriverProfile.h"
#include "support/HostProcess.h"
#include "support/PanelProcess.h"
#include "support/RegisteredDriver.h"
#include "support/SimSystem.h"
#include "support/TestProcess.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

constexpr char kSection[] = "QvK9AsioCPL";
constexpr char kPlayerWarning[] = "Stop player before new audio format setting takes effect.";

class PanelBesideDriver : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerDriver(simDriverPath())); }
    void SetUp() override {
        sim::resetToDefaults();
        useVersion(VER_PLATFORM_WIN32_NT, 5, 1); // the topology path, with stream status
        clearDriverProfile();
        WriteProfileStringA(kSection, nullptr, nullptr);
    }
    void TearDown() override {
        driver.release();
        panel.stop();
        host.end();
        clearDriverProfile();
        WriteProfileStringA(kSection, nullptr, nullptr);
    }

    bool startHost(const std::string& arguments) { return host.start(arguments); }
    bool hostEnded(DWORD timeoutMs) { return host.waitForEnd(timeoutMs); }

    ComApartment com;
    PanelProcess panel;
    RegisteredDriver driver;
    HostProcess host;
};

TEST_F(PanelBesideDriver, AFormatChosenWhileTheHostStreamsBlinksAWarningUntilTheStreamStops) {
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(startHost("probe --rate 44100 --bits 16 --seconds 8 --null-window"));

    // The format page shows the format the host streams with, the ASIO page the stream.
    EXPECT_TRUE(waitText(panel, IDC_PLAY_STATUS, "16 bit, 44100 Hz", 10000));
    EXPECT_TRUE(waitText(panel, IDC_REC_STATUS, "16 bit, 44100 Hz", 3000));
    EXPECT_TRUE(IsWindowVisible(panel.control(IDC_PLAY_STATUS)));
    EXPECT_TRUE(waitText(panel, IDC_ASIO_STREAM_STATE, "Start", 3000));
    EXPECT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Active");
    const std::string line = panel.text(IDC_ASIO_STATUS_LINE);
    EXPECT_EQ(line.rfind("2 ch. output, 2 ch. input, 44100 Hz  16 bits, ", 0), 0u) << line;

    const int entry = 7;
    ASSERT_EQ(panel.comboText(IDC_PLAY_FORMAT, entry), "24 bit, 48000 Hz");
    panel.chooseCombo(IDC_PLAY_FORMAT, entry);
    HWND messageLine = panel.control(IDC_MESSAGE_LINE);
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(messageLine) != FALSE; }, 3000));
    // Written by each poll and blanked half a second later.
    std::set<std::string> seen;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 2500) {
        seen.insert(panel.text(IDC_MESSAGE_LINE));
        Sleep(50);
    }
    EXPECT_TRUE(seen.count(kPlayerWarning)) << "the warning is shown";
    EXPECT_TRUE(seen.count("")) << "and blanked between polls";

    ASSERT_TRUE(hostEnded(30000));
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(messageLine); }, 4000))
        << "the warning ends with the stream";
    EXPECT_TRUE(waitText(panel, IDC_PLAY_STATUS, "Inactive ---", 3000));
    EXPECT_TRUE(waitText(panel, IDC_ASIO_DRIVER_STATE, "Non-Active", 3000));
    const sim::SimChosenFormat chosen = sim::readChosen(sim::state()->chosenFormat[0]);
    EXPECT_EQ(chosen.rate, 48000u);
    EXPECT_EQ(chosen.wireBits, 32);
}

TEST_F(PanelBesideDriver, TheHostsControlPanelCallAndThePanelsChoicesReachTheDriver) {
    ASSERT_TRUE(panel.start());
    SendMessageA(panel.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitVisible(panel.window(), false, 2000));

    ASSERT_EQ(driver.create(), S_OK);
    EXPECT_TRUE(waitText(panel, IDC_ASIO_DRIVER_STATE, "Active", 3000)) << "the load notice";
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_TRUE(waitVisible(panel.window(), true, 3000));
    EXPECT_EQ(SendMessageA(panel.control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), 1);

    // A preferred size of 256 frames and 24 bits, chosen in the panel.
    SendMessageA(panel.control(IDC_ASIO_AUTO_BUFFER), BM_CLICK, 0, 0);
    panel.moveSlider(IDC_ASIO_BUFFER_SLIDER, 4);
    ASSERT_EQ(panel.text(IDC_ASIO_BUFFER_SIZE), "256");
    SendMessageA(panel.control(IDC_ASIO_BITS24), BM_CLICK, 0, 0);

    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 256);
    ASIOChannelInfo info = {};
    info.channel = 0;
    info.isInput = ASIOFalse;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt24LSB);
}

} // namespace
