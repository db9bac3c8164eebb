// The real panel as its own process on the simulated machine, driven as the driver, the
// installer and a user drive it: commands by title, tabs, lists, buttons, the slider, the
// notification icon's messages, the shared block and the device's cable.
#include "common/PanelCommands.h"
#include "common/SharedBlockAccess.h"
#include "cpl/ui/Resource.h"
#include "sim/SimDevicePlug.h"
#include "sim/SimDeviceState.h"
#include "support/MessageBoxWatcher.h"
#include "support/PanelProcess.h"
#include "support/SimSystem.h"
#include "support/TestProcess.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kSection[] = "QvK9AsioCPL";
constexpr DWORD kExitMs = 10000;
constexpr DWORD kRefreshMs = 3000;
constexpr DWORD kBoxMs = 5000;

int profileInt(const char* key, int missing = -1) {
    return static_cast<int>(GetProfileIntA(kSection, key, missing));
}
void writeProfile(const char* key, const char* value) {
    WriteProfileStringA(kSection, key, value);
}

class PanelScenario : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        WriteProfileStringA(kSection, nullptr, nullptr);
    }
    void TearDown() override {
        panel.stop();
        second.stop();
        block.close();
        WriteProfileStringA(kSection, nullptr, nullptr);
    }

    // Windows 10: the device's topology filter carries formats and stream status.
    static void useTopologyPath() { useVersion(VER_PLATFORM_WIN32_NT, 10, 0); }
    // Windows 7: formats live in the endpoints' registry properties.
    static void useEndpointPath() { useWindows7(); }

    AsioSharedBlock* openBlock() {
        if (block.raw() == nullptr)
            block.open();
        return block.raw();
    }
    int tabSelection() const {
        return static_cast<int>(SendMessageA(panel.control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0));
    }
    bool pageVisible(int controlId) const {
        HWND page = panel.page(controlId);
        return page != nullptr && IsWindowVisible(page);
    }
    void expectExitsOn(UINT message, WPARAM wParam) {
        ASSERT_TRUE(panel.start());
        HWND window = panel.window();
        PostMessageA(window, message, wParam, 0);
        EXPECT_TRUE(panel.waitForExit(kExitMs)) << "message " << message << " " << wParam;
        EXPECT_EQ(FindWindowA(nullptr, kPanelWindowTitle), nullptr);
    }

    PanelProcess panel;
    PanelProcess second;
    SharedBlockAccess block;
};

TEST_F(PanelScenario, StartsOnTheFormatPageAndEndsOnTheInstallersExit) {
    ASSERT_TRUE(panel.start());
    EXPECT_TRUE(IsWindowVisible(panel.window()));
    EXPECT_EQ(SendMessageA(panel.control(IDC_PAGE_TABS), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(tabSelection(), 0);
    EXPECT_TRUE(pageVisible(IDC_PLAY_FORMAT));
    EXPECT_FALSE(pageVisible(IDC_ASIO_DRIVER_STATE));

    SendMessageA(panel.window(), WM_COMMAND, ID_CPL_EXIT, 0);
    DWORD code = 1;
    EXPECT_TRUE(panel.waitForExit(kExitMs, &code));
    EXPECT_EQ(FindWindowA(nullptr, kPanelWindowTitle), nullptr);
}

TEST_F(PanelScenario, TheSecondExitCodeOkAndTheCloseBoxEndTheProgram) {
    expectExitsOn(WM_COMMAND, ID_CPL_EXIT_SECOND);
    expectExitsOn(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
    expectExitsOn(WM_SYSCOMMAND, SC_CLOSE);
}

TEST_F(PanelScenario, TheInstallersExitEndsThePanelAlsoWhileTheAboutBoxIsOpen) {
    ASSERT_TRUE(panel.start());
    PostMessageA(panel.window(), WM_SYSCOMMAND, ID_SYS_ABOUT, 0);
    HWND about = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            about = FindWindowA("#32770", "About Calmora Quenvora-K9 USB Audio Control Panel");
            return about != nullptr && IsWindowVisible(about);
        },
        5000));
    // The box fits the picture: 414 x 104 pixels inside it.
    RECT picture = {};
    GetClientRect(GetDlgItem(about, IDC_ABOUT_PICTURE), &picture);
    EXPECT_EQ(picture.right, 414);
    EXPECT_EQ(picture.bottom, 104);

    SendMessageA(panel.window(), WM_COMMAND, ID_CPL_EXIT, 0);
    EXPECT_TRUE(panel.waitForExit(kExitMs));
}

// The driver sends its notices from the host's process with a bound and gives up on a hung
// window; a modal box on the panel's one thread must not make it look hung or slow.
TEST_F(PanelScenario, DriverNoticesAreAnsweredWhileAModalBoxIsOpen) {
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);
    b->driverLoaded = 1;
    b->outputChannelsInUse = 2;
    panel.click(IDC_ASIO_BITS24); // the message about the next stream start stays open
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            box = FindWindowA("#32770", "QvK9CPL");
            return box != nullptr && IsWindowVisible(box);
        },
        kBoxMs));

    b->streamRunning = 1;
    const DWORD before = GetTickCount();
    DWORD_PTR reply = 0;
    EXPECT_NE(SendMessageTimeoutA(panel.window(), WM_COMMAND, ASIOWM_START, 0,
                                  SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &reply),
              0);
    EXPECT_LT(GetTickCount() - before, 5000u);
    EXPECT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Start");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box); }, kBoxMs));
}

TEST_F(PanelScenario, SecondStartShowsTheHiddenPanelAndEndsWithoutAWindow) {
    ASSERT_TRUE(panel.start());
    SendMessageA(panel.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitVisible(panel.window(), false, 2000));
    EXPECT_FALSE(IsIconic(panel.window())) << "hidden, not minimised";

    ASSERT_TRUE(second.launch());
    EXPECT_TRUE(second.waitForExit(kExitMs));
    EXPECT_TRUE(waitVisible(panel.window(), true, 2000));
    EXPECT_TRUE(panel.running());
    EXPECT_EQ(FindWindowA(nullptr, kPanelWindowTitle), panel.window());
}

TEST_F(PanelScenario, AWindowOfAnotherProgramWithTheTitleStopsTheStart) {
    HWND foreign = CreateWindowExA(0, "STATIC", kPanelWindowTitle, WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(foreign, nullptr);
    ASSERT_TRUE(second.launch());
    EXPECT_TRUE(second.waitForExit(kExitMs));
    EXPECT_EQ(FindWindowA(nullptr, kPanelWindowTitle), foreign);
    EXPECT_TRUE(IsWindowVisible(foreign)) << "the start shows the window it found";
    DestroyWindow(foreign);
}

TEST_F(PanelScenario, TabSelectionShowsOnePageAtATime) {
    ASSERT_TRUE(panel.start());
    HWND tabs = panel.control(IDC_PAGE_TABS);
    SendMessageA(tabs, TCM_SETCURFOCUS, 1, 0);
    EXPECT_TRUE(pageVisible(IDC_ASIO_DRIVER_STATE));
    EXPECT_FALSE(pageVisible(IDC_PLAY_FORMAT));
    SendMessageA(tabs, TCM_SETCURFOCUS, 0, 0);
    EXPECT_TRUE(pageVisible(IDC_PLAY_FORMAT));
    EXPECT_FALSE(pageVisible(IDC_ASIO_DRIVER_STATE));
}

TEST_F(PanelScenario, MinimisingHidesAndTheTrayBringsItBack) {
    ASSERT_TRUE(panel.start());
    HWND window = panel.window();
    SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitVisible(window, false, 2000));
    // A double click on the icon restores; another icon's callback is not ours.
    EXPECT_EQ(SendMessageA(window, WM_TRAYICON, 2, WM_LBUTTONDBLCLK), 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(SendMessageA(window, WM_TRAYICON, 1, WM_LBUTTONDBLCLK), 1);
    EXPECT_TRUE(waitVisible(window, true, 2000));
    // The tray menu's two commands.
    panel.command(ID_TRAY_HIDE);
    EXPECT_TRUE(waitVisible(window, false, 2000));
    panel.command(ID_TRAY_SHOW);
    EXPECT_TRUE(waitVisible(window, true, 2000));
}

TEST_F(PanelScenario, TrayMenuOffersShowWhileHiddenAndHideWhileShown) {
    ASSERT_TRUE(panel.start());
    HWND window = panel.window();
    const struct {
        bool hidden;
        const char* item;
        UINT command;
    } cases[] = {{true, "Show", ID_TRAY_SHOW}, {false, "Hide", ID_TRAY_HIDE}};
    for (const auto& c : cases) {
        ShowWindow(window, c.hidden ? SW_HIDE : SW_SHOW);
        ASSERT_TRUE(waitVisible(window, !c.hidden, 2000));
        PostMessageA(window, WM_TRAYICON, 1, WM_RBUTTONDOWN);
        HWND menuWindow = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] {
                menuWindow = FindWindowA("#32768", nullptr);
                return menuWindow != nullptr && IsWindowVisible(menuWindow);
            },
            5000));
        // Windows shares menus between processes and the item can be read; Wine keeps them
        // per process, so there only the item's effect below tells which it was.
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
        if (menu != nullptr && GetMenuItemCount(menu) >= 0) {
            EXPECT_EQ(GetMenuItemCount(menu), 1);
            char text[32] = {};
            GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION);
            EXPECT_STREQ(text, c.item);
            EXPECT_EQ(GetMenuItemID(menu, 0), c.command);
        }
        // The one item, chosen with the keyboard.
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_TRUE(waitVisible(window, c.hidden, 3000)) << c.item;
        EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(menuWindow); }, 5000));
    }
}

TEST_F(PanelScenario, ShowRequestInTheBlockBringsTheHiddenPanelUpOnTheAsioPage) {
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);
    ShowWindow(panel.window(), SW_HIDE);
    b->showPanelRequest = 1;
    EXPECT_TRUE(waitVisible(panel.window(), true, 2000));
    EXPECT_EQ(b->showPanelRequest, 0);
    EXPECT_EQ(tabSelection(), 1);
    EXPECT_TRUE(pageVisible(IDC_ASIO_DRIVER_STATE));
}

TEST_F(PanelScenario, TheDriversShowCommandBringsTheHiddenPanelUpOnTheAsioPage) {
    ASSERT_TRUE(panel.start());
    SendMessageA(panel.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitVisible(panel.window(), false, 2000));
    panel.command(ASIOWM_SHOWCPL);
    EXPECT_TRUE(IsWindowVisible(panel.window()));
    EXPECT_EQ(tabSelection(), 1);
    EXPECT_TRUE(pageVisible(IDC_ASIO_DRIVER_STATE));
    EXPECT_FALSE(pageVisible(IDC_PLAY_FORMAT));
}

TEST_F(PanelScenario, WithoutADriverThePageCreatesTheBlockAndTakesItsDefaults) {
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(block.created()) << "the panel made the block";
    EXPECT_EQ(b->magic, kAsioSharedBlockMagic);
    EXPECT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Non-Active");
    EXPECT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Stop");
    EXPECT_EQ(panel.text(IDC_ASIO_STATUS_LINE), "------");

    EXPECT_EQ(profileInt("SetBitRes"), 16);
    EXPECT_EQ(profileInt("SetBufSize"), -1) << "a missing size is not written";
    EXPECT_EQ(b->requestedBits, 16);
    EXPECT_EQ(b->requestedFrames, 6144);
    EXPECT_EQ(b->useRequestedFrames, 0);
    EXPECT_EQ(SendMessageA(panel.control(IDC_ASIO_BITS16), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(panel.text(IDC_ASIO_BUFFER_SIZE), "6144");
    HWND slider = panel.control(IDC_ASIO_BUFFER_SLIDER);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 188);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 188);
    EXPECT_EQ(SendMessageA(panel.control(IDC_ASIO_AUTO_BUFFER), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(slider)) << "automatic sizing leaves the slider off";
    EXPECT_TRUE(IsWindowEnabled(panel.control(IDC_ASIO_BITS24)));
}

TEST_F(PanelScenario, StoredBufferSizesAreRepairedOrKept) {
    const struct {
        const char* stored;
        const char* shown;
        int position;
        int profile;
    } cases[] = {
        {"100", "6144", 188, 6144},
        {"7000", "6144", 188, 6144},
        {"200", "200", 2, 200}, // between the steps: the slider shows 192
    };
    for (const auto& c : cases) {
        writeProfile("SetBufSize", c.stored);
        writeProfile("SetAutoBufSize", "0");
        ASSERT_TRUE(panel.start());
        EXPECT_EQ(panel.text(IDC_ASIO_BUFFER_SIZE), c.shown) << c.stored;
        HWND slider = panel.control(IDC_ASIO_BUFFER_SLIDER);
        EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), c.position) << c.stored;
        EXPECT_TRUE(IsWindowEnabled(slider));
        EXPECT_EQ(profileInt("SetBufSize"), c.profile) << c.stored;
        AsioSharedBlock* b = openBlock();
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->requestedFrames, std::stoi(c.shown));
        EXPECT_EQ(b->useRequestedFrames, 1);
        panel.stop();
        block.close();
    }
}

TEST_F(PanelScenario, BufferChoicesReachTheBlockAndTheProfile) {
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);
    HWND slider = panel.control(IDC_ASIO_BUFFER_SLIDER);

    SendMessageA(panel.control(IDC_ASIO_AUTO_BUFFER), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(slider));
    EXPECT_EQ(b->useRequestedFrames, 1);
    EXPECT_EQ(profileInt("SetAutoBufSize"), 0);

    panel.moveSlider(IDC_ASIO_BUFFER_SLIDER, 10);
    EXPECT_EQ(panel.text(IDC_ASIO_BUFFER_SIZE), "448");
    EXPECT_EQ(b->requestedFrames, 448);
    EXPECT_EQ(profileInt("SetBufSize"), 448);
    panel.moveSlider(IDC_ASIO_BUFFER_SLIDER, 0);
    EXPECT_EQ(b->requestedFrames, 128);

    SendMessageA(panel.control(IDC_ASIO_AUTO_BUFFER), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(slider));
    EXPECT_EQ(b->useRequestedFrames, 0);
    EXPECT_EQ(profileInt("SetAutoBufSize"), 1);
}

TEST_F(PanelScenario, WidthChoiceWarnsOnlyWhileAHostHasBuffers) {
    MessageBoxWatcher boxes("QvK9CPL");
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);

    SendMessageA(panel.control(IDC_ASIO_BITS24), BM_CLICK, 0, 0);
    EXPECT_EQ(b->requestedBits, 24);
    EXPECT_EQ(profileInt("SetBitRes"), 24);

    b->driverLoaded = 1;
    b->outputChannelsInUse = 2;
    panel.click(IDC_ASIO_BITS16);
    const auto texts = boxes.waitFor(1, kBoxMs);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "ASIO bits per sample will not take effect, untill next ASIO stream start");
    EXPECT_TRUE(waitUntil([&] { return profileInt("SetBitRes") == 16; }, 2000));
    EXPECT_EQ(b->requestedBits, 16);
}

TEST_F(PanelScenario, ABlockWithoutItsSignatureRefusesEveryChoiceWithAMessage) {
    MessageBoxWatcher boxes("QvK9CPL");
    writeProfile("SetBufSize", "1024");
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);
    b->magic = 0;
    const int bitsBefore = b->requestedBits;

    panel.click(IDC_ASIO_AUTO_BUFFER);
    ASSERT_EQ(boxes.waitFor(1, kBoxMs).size(), 1u);
    panel.click(IDC_ASIO_BITS24);
    ASSERT_EQ(boxes.waitFor(2, kBoxMs).size(), 2u);
    // The check box turned the slider on before it refused.
    ASSERT_TRUE(
        waitUntil([&] { return IsWindowEnabled(panel.control(IDC_ASIO_BUFFER_SLIDER)); }, 2000));
    HWND slider = panel.control(IDC_ASIO_BUFFER_SLIDER);
    SendMessageA(slider, TBM_SETPOS, TRUE, 3);
    PostMessageA(GetParent(slider), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(slider));
    const auto texts = boxes.waitFor(3, kBoxMs);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0],
              "Fail to set ASIO buffer size to be controlled by ASIO driver automatically!");
    EXPECT_EQ(texts[1], "Fail to set ASIO bits per sample!");
    EXPECT_EQ(texts[2], "Fail to set preferred ASIO buffer size!");
    EXPECT_EQ(profileInt("SetAutoBufSize"), -1);
    EXPECT_EQ(profileInt("SetBitRes"), 16);
    EXPECT_EQ(profileInt("SetBufSize"), 1024);
    EXPECT_EQ(b->requestedBits, bitsBefore);
    EXPECT_EQ(panel.text(IDC_ASIO_BUFFER_SIZE), "1024");
}

TEST_F(PanelScenario, DriverStatusFollowsTheBlockOnEachNoticeAndTwiceASecond) {
    ASSERT_TRUE(panel.start());
    AsioSharedBlock* b = openBlock();
    ASSERT_NE(b, nullptr);

    // Without a notice the half-second refresh finds the driver.
    b->driverLoaded = 1;
    EXPECT_TRUE(waitText(panel, IDC_ASIO_DRIVER_STATE, "Active", kRefreshMs));
    EXPECT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Stop");
    EXPECT_EQ(panel.text(IDC_ASIO_STATUS_LINE), "------");

    b->outputChannelsInUse = 2;
    b->inputChannelsInUse = 2;
    b->sampleRate = 48000;
    b->sampleBits = 24;
    b->bufferFrames = 256;
    b->streamRunning = 1;
    panel.command(ASIOWM_START);
    EXPECT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Start");
    EXPECT_EQ(panel.text(IDC_ASIO_STATUS_LINE),
              "2 ch. output, 2 ch. input, 48000 Hz  24 bits, 256 BYTE Buffer");

    // A new rate while the stream keeps running leaves the line as it was.
    b->sampleRate = 44100;
    panel.command(ASIOWM_SMPLRATECHANGE);
    EXPECT_EQ(panel.text(IDC_ASIO_STATUS_LINE),
              "2 ch. output, 2 ch. input, 48000 Hz  24 bits, 256 BYTE Buffer");

    b->streamRunning = 0;
    panel.command(ASIOWM_STOP);
    EXPECT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Stop");
    EXPECT_EQ(panel.text(IDC_ASIO_STATUS_LINE), "------");

    b->driverLoaded = 0;
    panel.command(ASIOWM_DRVUNLOAD);
    EXPECT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Non-Active");
}

TEST_F(PanelScenario, EndpointPathOffersNoAutoEntry) {
    useEndpointPath();
    ASSERT_TRUE(panel.start());
    ASSERT_EQ(panel.comboCount(IDC_PLAY_FORMAT), 8);
    EXPECT_EQ(panel.comboText(IDC_PLAY_FORMAT, 0), "16 bit, 32000 Hz");
    EXPECT_EQ(panel.comboText(IDC_REC_FORMAT, 7), "24 bit, 96000 Hz");
}

TEST_F(PanelScenario, TopologyPathOffersAutoAndFollowsTheCable) {
    useTopologyPath();
    ASSERT_TRUE(panel.start());
    ASSERT_EQ(panel.comboCount(IDC_PLAY_FORMAT), 9);
    EXPECT_EQ(panel.comboText(IDC_PLAY_FORMAT, 0), "Auto");
    EXPECT_EQ(panel.comboText(IDC_PLAY_FORMAT, 1), "16 bit, 32000 Hz");
    EXPECT_EQ(panel.comboText(IDC_REC_FORMAT, 8), "24 bit, 96000 Hz");
    HWND playList = panel.control(IDC_PLAY_FORMAT);
    EXPECT_TRUE(IsWindowEnabled(playList)) << "the device is there at start";

    sim::unplug();
    EXPECT_TRUE(waitUntil([&] { return !IsWindowEnabled(playList); }, 2000));
    EXPECT_EQ(panel.text(IDC_PLAY_STATUS), "Inactive ---");
    EXPECT_EQ(panel.text(IDC_REC_STATUS), "Inactive ---");

    // An arrival within the 5 s after a removal is handled at once.
    sim::plug();
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(playList) != FALSE; }, 1500));
}

TEST_F(PanelScenario, AFormatChoiceReachesTheDeviceWithinASecond) {
    useTopologyPath();
    ASSERT_TRUE(panel.start());
    const int entry = 7; // "24 bit, 48000 Hz" after "Auto"
    ASSERT_EQ(panel.comboText(IDC_PLAY_FORMAT, entry), "24 bit, 48000 Hz");
    panel.chooseCombo(IDC_PLAY_FORMAT, entry);
    EXPECT_TRUE(waitUntil(
        [] {
            const sim::SimChosenFormat f = sim::readChosen(sim::state()->chosenFormat[0]);
            return f.fixed == 1 && f.wireBits == 32 && f.rate == 48000;
        },
        2500));
    EXPECT_EQ(panel.comboSelection(IDC_PLAY_FORMAT), entry);

    panel.chooseCombo(IDC_REC_FORMAT, 0); // "Auto"
    EXPECT_TRUE(waitUntil(
        [] {
            const sim::SimChosenFormat f = sim::readChosen(sim::state()->chosenFormat[1]);
            return f.fixed == 0 && f.wireBits == 0 && f.rate == 0;
        },
        2500));
}

} // namespace
