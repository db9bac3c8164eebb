// The format page when the device cannot be read or does not take a choice: it shows no format
// it did not read, says why in the message line, and sends nothing it would not have sent.
// On Windows 6.0 and 6.1 the formats go through the Trelvik driver, which the panel takes from
// "Trelvik.dll" beside its own program; the simulated machine's service control manager decides
// whether that driver starts.
#include "cpl/ui/Resource.h"
#include "sim/SimDeviceState.h"
#include "sim/SimEndpointRegistry.h"
#include "support/PanelProcess.h"
#include "support/SimSystem.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kUnreadText[] = "Audio format of the device cannot be read.";
constexpr char kNotSetText[] = "New audio format could not be set on the device.";
constexpr DWORD kPollsMs = 3000; // a few of the page's once-a-second polls

class PanelFormatFailures : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        driverBesidePanel = testProgramFolder() + "..\\bin\\sim\\Trelvik.dll";
        DeleteFileA(driverBesidePanel.c_str());
    }
    void TearDown() override {
        panel.stop();
        DeleteFileA(driverBesidePanel.c_str());
        sim::removeEndpointKey(sim::kDefaultRenderEndpoint, 0);
        sim::removeEndpointKey(sim::kDefaultCaptureEndpoint, 1);
        sim::resetToDefaults();
    }

    // Windows 7 with the device's endpoints holding 24 bits at 96000 Hz.
    void useEndpointPathAt96k() {
        useWindows7();
        ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultRenderEndpoint, 0, 96000, 24));
        ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultCaptureEndpoint, 1, 96000, 24));
    }
    void placeDriver() const { ASSERT_TRUE(placeTrelvikStandIn(driverBesidePanel)); }

    std::string shown(int list) const {
        const int selection = panel.comboSelection(list);
        return selection < 0 ? std::string("<nothing>") : panel.comboText(list, selection);
    }
    bool messageSays(const char* text) const {
        return waitUntil(
            [&] {
                return IsWindowVisible(panel.control(IDC_MESSAGE_LINE)) &&
                       panel.text(IDC_MESSAGE_LINE) == text;
            },
            kPollsMs);
    }
    bool messageGone() const {
        return waitUntil([&] { return !IsWindowVisible(panel.control(IDC_MESSAGE_LINE)); },
                         kPollsMs);
    }
    // The page's face while the formats are unread.
    void expectNothingShown(const char* why) const {
        EXPECT_EQ(shown(IDC_PLAY_FORMAT), "<nothing>") << why;
        EXPECT_EQ(shown(IDC_REC_FORMAT), "<nothing>") << why;
        EXPECT_FALSE(IsWindowEnabled(panel.control(IDC_PLAY_FORMAT))) << why;
        EXPECT_FALSE(IsWindowEnabled(panel.control(IDC_REC_FORMAT))) << why;
        EXPECT_TRUE(messageSays(kUnreadText)) << why;
    }

    PanelProcess panel;
    std::string driverBesidePanel;
};

TEST_F(PanelFormatFailures, WithoutTheTrelvikDriverThePageShowsNoFormatAndChangesNothing) {
    useEndpointPathAt96k();
    const struct {
        const char* why;
        bool driverFile;
        bool serviceStarts;
    } cases[] = {{"no Trelvik.dll beside the panel", false, true},
                 {"the Trelvik service does not start", true, false}};
    for (const auto& c : cases) {
        if (c.driverFile)
            placeDriver();
        sim::state()->faults.trelvikStartFails = c.serviceStarts ? 0 : 1;
        ASSERT_TRUE(panel.start()) << c.why;
        expectNothingShown(c.why);
        Sleep(1500); // another poll or two: they only try to read again
        expectNothingShown(c.why);
        EXPECT_EQ(sim::state()->trelvik.writes, 0) << c.why;
        if (!c.driverFile) {
            EXPECT_EQ(sim::state()->trelvik.starts, 0) << "no driver file, no service";
        }
        const std::vector<uint8_t> stored =
            sim::readEndpointValue(sim::kDefaultRenderEndpoint, 0, sim::kDeviceFormatValueName);
        ASSERT_EQ(stored.size(), 48u);
        EXPECT_EQ(stored[12] | stored[13] << 8 | stored[14] << 16, 96000) << c.why;
        panel.stop();
    }
}

// Before the first read the lists hold an entry nobody chose; the first read replaces it, also
// when the device's format is the list's first entry or its own choice ("Auto").
TEST_F(PanelFormatFailures, TheFirstReadShowsTheDevicesFormatWhateverEntryItIs) {
    useWindows7();
    ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultRenderEndpoint, 0, 32000, 16));
    ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultCaptureEndpoint, 1, 32000, 16));
    placeDriver();
    ASSERT_TRUE(panel.start());
    EXPECT_EQ(shown(IDC_PLAY_FORMAT), "16 bit, 32000 Hz");
    EXPECT_EQ(shown(IDC_REC_FORMAT), "16 bit, 32000 Hz");
    panel.stop();

    useVersion(VER_PLATFORM_WIN32_NT, 10, 0); // the topology filter: the device chooses itself
    ASSERT_TRUE(panel.start());
    EXPECT_EQ(shown(IDC_PLAY_FORMAT), "Auto");
    EXPECT_EQ(shown(IDC_REC_FORMAT), "Auto");
}

TEST_F(PanelFormatFailures, FormatsComeBackWhenTheTrelvikDriverAnswersAgain) {
    useEndpointPathAt96k();
    placeDriver();
    ASSERT_TRUE(panel.start());
    EXPECT_EQ(shown(IDC_PLAY_FORMAT), "24 bit, 96000 Hz");
    EXPECT_EQ(shown(IDC_REC_FORMAT), "24 bit, 96000 Hz");
    EXPECT_TRUE(IsWindowEnabled(panel.control(IDC_PLAY_FORMAT)));

    sim::state()->faults.trelvikStartFails = 1;
    ASSERT_TRUE(waitUntil([&] { return panel.comboSelection(IDC_PLAY_FORMAT) < 0; }, kPollsMs));
    expectNothingShown("the service stopped starting");

    sim::state()->faults.trelvikStartFails = 0;
    HWND playList = panel.control(IDC_PLAY_FORMAT);
    ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(playList) != FALSE; }, kPollsMs));
    EXPECT_EQ(shown(IDC_PLAY_FORMAT), "24 bit, 96000 Hz");
    EXPECT_EQ(shown(IDC_REC_FORMAT), "24 bit, 96000 Hz");
    EXPECT_TRUE(messageGone());
}

TEST_F(PanelFormatFailures, AChoiceTheDeviceRefusesIsSaidSoAndTheListShowsWhatItHolds) {
    useVersion(VER_PLATFORM_WIN32_NT, 10, 0); // the topology filter takes the choice
    ASSERT_TRUE(panel.start());
    ASSERT_EQ(shown(IDC_PLAY_FORMAT), "Auto");
    const int entry = 7;
    ASSERT_EQ(panel.comboText(IDC_PLAY_FORMAT, entry), "24 bit, 48000 Hz");

    sim::state()->faults.formatSetsRefused = 1;
    panel.chooseCombo(IDC_PLAY_FORMAT, entry);
    EXPECT_TRUE(messageSays(kNotSetText));
    EXPECT_TRUE(waitUntil([&] { return shown(IDC_PLAY_FORMAT) == "Auto"; }, kPollsMs))
        << "the list shows what the device holds";
    EXPECT_EQ(sim::readChosen(sim::state()->chosenFormat[0]).fixed, 0);
    EXPECT_TRUE(messageSays(kNotSetText)) << "said until a choice is taken";

    sim::state()->faults.formatSetsRefused = 0;
    panel.chooseCombo(IDC_PLAY_FORMAT, entry);
    EXPECT_TRUE(waitUntil(
        [] {
            const sim::SimChosenFormat f = sim::readChosen(sim::state()->chosenFormat[0]);
            return f.fixed == 1 && f.wireBits == 32 && f.rate == 48000;
        },
        kPollsMs));
    EXPECT_TRUE(messageGone());
    EXPECT_EQ(shown(IDC_PLAY_FORMAT), "24 bit, 48000 Hz");
}

} // namespace
