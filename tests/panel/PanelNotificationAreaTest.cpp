// The panel's icon as the notification area receives it, and the main dialog's rhythm after a
// removal. Wine's shell delivers Shell_NotifyIcon to the top-level window of class
// "Shell_TrayWnd" as WM_COPYDATA (the action in dwData, a fixed record of the icon in the data);
// the null display driver has no such window, so the test is the notification area: it can be
// there before the panel, come after it, or be replaced, as when Explorer restarts.
#include "common/PanelCommands.h"
#include "common/SharedBlockAccess.h"
#include "cpl/ui/Resource.h"
#include "sim/SimDevicePlug.h"
#include "sim/SimDeviceState.h"
#include "support/PanelProcess.h"
#include "support/SimSystem.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kTipPresent[] = "Quenvora-K9 USB Audio";
constexpr char kTipAbsent[] = "No Device";
constexpr DWORD kNoticeMs = 5000;

// The start of Wine's record of one icon.
struct IconRecord {
    LONG window;
    UINT id;
    UINT flags;
    UINT callbackMessage;
    WCHAR tip[128];
};

struct IconEvent {
    DWORD action; // NIM_ADD, NIM_MODIFY, NIM_DELETE
    HWND window;
    UINT id;
    std::string tip; // empty without NIF_TIP
};

// A stand-in notification area: the shell's tray window on a thread of its own, recording
// every icon request it receives.
class StandInTray {
public:
    // `onEvent` runs on the tray's thread for each request, before the shell's call returns.
    explicit StandInTray(std::function<void(const IconEvent&)> onEvent = nullptr)
        : onEvent_(std::move(onEvent)) {
        thread_ = std::thread([this] { run(); });
        waitUntil([this] { return window_ != nullptr || failed_; }, kNoticeMs);
    }
    ~StandInTray() {
        if (window_ != nullptr)
            PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    StandInTray(const StandInTray&) = delete;
    StandInTray& operator=(const StandInTray&) = delete;

    bool up() const { return window_ != nullptr; }
    std::vector<IconEvent> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // Waits for the first request with `action` after the first `skip` ones.
    bool waitFor(DWORD action, size_t skip, IconEvent* found) {
        return waitUntil(
            [&] {
                const std::vector<IconEvent> seen = events();
                for (size_t i = skip; i < seen.size(); ++i) {
                    if (seen[i].action == action) {
                        *found = seen[i];
                        return true;
                    }
                }
                return false;
            },
            kNoticeMs);
    }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<StandInTray*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_COPYDATA && self != nullptr) {
            self->record(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return TRUE;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void record(const COPYDATASTRUCT& data) {
        if (data.cbData < sizeof(IconRecord) || data.lpData == nullptr)
            return;
        const auto* icon = static_cast<const IconRecord*>(data.lpData);
        IconEvent event{static_cast<DWORD>(data.dwData),
                        reinterpret_cast<HWND>(static_cast<LONG_PTR>(icon->window)), icon->id,
                        std::string()};
        if (icon->flags & NIF_TIP) {
            char tip[128] = {};
            WideCharToMultiByte(CP_ACP, 0, icon->tip, -1, tip, sizeof(tip) - 1, nullptr, nullptr);
            event.tip = tip;
        }
        // First the reaction: once a request is seen, so is what its reaction did.
        if (onEvent_)
            onEvent_(event);
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }

    void run() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
        if (window == nullptr) {
            failed_ = true;
            return;
        }
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        window_ = window;
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
        window_ = nullptr;
        UnregisterClassA("Shell_TrayWnd", windowClass.hInstance);
    }

    std::function<void(const IconEvent&)> onEvent_;
    std::thread thread_;
    volatile HWND window_ = nullptr;
    volatile bool failed_ = false;
    std::mutex mutex_;
    std::vector<IconEvent> events_;
};

// What the shell sends to every top-level window when its notification area is (re)created.
void announceNotificationArea() {
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
}

class PanelNotificationArea : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        // The topology path, whatever the prefix's version: there the format page reads the
        // device at each open, and its lists tell when the panel has it open.
        useVersion(VER_PLATFORM_WIN32_NT, 10, 0);
    }
    void TearDown() override {
        panel.stop();
        block.close();
    }

    PanelProcess panel;
    SharedBlockAccess block;
};

TEST_F(PanelNotificationArea, IconFollowsTheDeviceAndEndsWithThePanel) {
    StandInTray tray;
    ASSERT_TRUE(tray.up());
    ASSERT_TRUE(panel.start());
    IconEvent event;
    ASSERT_TRUE(tray.waitFor(NIM_ADD, 0, &event));
    EXPECT_EQ(event.window, panel.window());
    EXPECT_EQ(event.id, 1u);
    EXPECT_EQ(event.tip, kTipPresent);

    size_t seen = tray.events().size();
    sim::unplug();
    ASSERT_TRUE(tray.waitFor(NIM_MODIFY, seen, &event));
    EXPECT_EQ(event.tip, kTipAbsent);

    seen = tray.events().size();
    sim::plug(); // within the hold-off: handled at once
    ASSERT_TRUE(tray.waitFor(NIM_MODIFY, seen, &event));
    EXPECT_EQ(event.tip, kTipPresent);

    seen = tray.events().size();
    panel.stop();
    ASSERT_TRUE(tray.waitFor(NIM_DELETE, seen, &event));
    EXPECT_EQ(event.id, 1u);
}

// The shell's add is a call into another process too: a removal announced while it runs is
// answered then, and the icon's tip follows it.
TEST_F(PanelNotificationArea, ARemovalWhileTheShellTakesTheIconChangesItsTip) {
    StandInTray tray([](const IconEvent& event) {
        if (event.action == NIM_ADD)
            sim::unplug();
    });
    ASSERT_TRUE(tray.up());
    ASSERT_TRUE(panel.start());
    IconEvent event;
    ASSERT_TRUE(tray.waitFor(NIM_ADD, 0, &event));
    EXPECT_EQ(event.tip, kTipPresent);
    ASSERT_TRUE(tray.waitFor(NIM_MODIFY, 0, &event));
    EXPECT_EQ(event.tip, kTipAbsent);
}

TEST_F(PanelNotificationArea, IconIsAddedWhenTheNotificationAreaComesLaterOrAgain) {
    sim::unplug();
    ASSERT_TRUE(panel.start()); // no notification area yet, as at an early log-on
    IconEvent event;
    {
        StandInTray tray;
        ASSERT_TRUE(tray.up());
        announceNotificationArea();
        ASSERT_TRUE(tray.waitFor(NIM_ADD, 0, &event));
        EXPECT_EQ(event.window, panel.window());
        EXPECT_EQ(event.tip, kTipAbsent);
    }
    // Explorer restarted: a new notification area, announced again, gets the icon again with
    // the tip of the moment.
    HWND playList = panel.control(IDC_PLAY_FORMAT);
    sim::plug();
    ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(playList) != FALSE; }, kNoticeMs));
    StandInTray restarted;
    ASSERT_TRUE(restarted.up());
    announceNotificationArea();
    ASSERT_TRUE(restarted.waitFor(NIM_ADD, 0, &event));
    EXPECT_EQ(event.tip, kTipPresent);
}

// For 5 s after a removal the timer's periodic work rests: the ASIO status is not refreshed
// from the block, though the driver's notices still are; then it resumes.
TEST_F(PanelNotificationArea, RemovalHoldsOffThePeriodicRefreshForFiveSeconds) {
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(block.open());
    AsioSharedBlock* b = block.raw();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Non-Active");
    HWND playList = panel.control(IDC_PLAY_FORMAT);

    sim::unplug();
    ASSERT_TRUE(waitUntil([&] { return !IsWindowEnabled(playList); }, kNoticeMs));
    const DWORD removed = GetTickCount();
    b->driverLoaded = 1;
    // The half-second refresh would show it at once; the hold-off keeps it back. A slow machine
    // only makes the panel later, never earlier.
    Sleep(3000);
    if (GetTickCount() - removed < 4500) { // a stalled test thread proves nothing here
        EXPECT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Non-Active");
    }
    EXPECT_TRUE(waitText(panel, IDC_ASIO_DRIVER_STATE, "Active", 10000));

    // The driver's notices are handled during a hold-off too.
    sim::plug();
    ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(playList) != FALSE; }, kNoticeMs));
    sim::unplug();
    ASSERT_TRUE(waitUntil([&] { return !IsWindowEnabled(playList); }, kNoticeMs));
    b->driverLoaded = 0;
    panel.command(ASIOWM_DRVUNLOAD);
    EXPECT_EQ(panel.text(IDC_ASIO_DRIVER_STATE), "Non-Active");
}

// A device that comes back without a notice (a notice lost, the panel registered for them too
// late, or a device there at log-on whose first open failed) is found by the open attempts
// every 2 s, and the tip says it is there.
TEST_F(PanelNotificationArea, DeviceBackWithoutANoticeIsFoundByTheRetries) {
    StandInTray tray;
    ASSERT_TRUE(tray.up());
    sim::unplug();
    ASSERT_TRUE(panel.start());
    HWND playList = panel.control(IDC_PLAY_FORMAT);
    ASSERT_FALSE(IsWindowEnabled(playList));
    IconEvent event;
    ASSERT_TRUE(tray.waitFor(NIM_ADD, 0, &event));
    EXPECT_EQ(event.tip, kTipAbsent);

    const size_t seen = tray.events().size();
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&sim::state()->unplugged), 0);
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(playList) != FALSE; }, 8000));
    ASSERT_TRUE(tray.waitFor(NIM_MODIFY, seen, &event));
    EXPECT_EQ(event.tip, kTipPresent);
}

// The shell's removal of the icon at the end is a call into another process, during which the
// panel's thread answers the messages sent to it: a driver's notice then still finds the page
// and the device it reads the driver's state through, and the panel ends as it should.
TEST_F(PanelNotificationArea, ADriverNoticeDuringTheIconsRemovalAtTheEndIsAnswered) {
    ASSERT_TRUE(block.open());
    AsioSharedBlock* b = block.raw();
    ASSERT_NE(b, nullptr);
    HWND streamField = nullptr;
    std::string shownAtRemoval = "<no removal>";
    StandInTray tray([&](const IconEvent& event) {
        if (event.action != NIM_DELETE)
            return;
        b->streamRunning = 0;
        DWORD_PTR reply = 0;
        char text[32] = "<no answer>";
        if (SendMessageTimeoutA(event.window, WM_COMMAND, ASIOWM_STOP, 0, SMTO_NORMAL, 5000,
                                &reply))
            SendMessageTimeoutA(streamField, WM_GETTEXT, sizeof(text),
                                reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &reply);
        shownAtRemoval = text;
    });
    ASSERT_TRUE(tray.up());
    ASSERT_TRUE(panel.start());
    streamField = panel.control(IDC_ASIO_STREAM_STATE);
    b->driverLoaded = 1;
    b->streamRunning = 1;
    panel.command(ASIOWM_START);
    ASSERT_EQ(panel.text(IDC_ASIO_STREAM_STATE), "Start");

    SendMessageA(panel.window(), WM_COMMAND, ID_CPL_EXIT, 0);
    DWORD code = 1;
    ASSERT_TRUE(panel.waitForExit(10000, &code));
    EXPECT_EQ(code, 0u);
    IconEvent removal;
    ASSERT_TRUE(tray.waitFor(NIM_DELETE, 0, &removal));
    EXPECT_EQ(shownAtRemoval, "Stop");
}

} // namespace
