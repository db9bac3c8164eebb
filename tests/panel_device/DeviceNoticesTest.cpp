// Plugging and unplugging the simulated device reaches the windows registered for notices.
#include "SimulatedSystem.h"

#include "cpl/device/UsbAudioDevice.h"
#include "ports/DeviceNotices.h"
#include "sim/SimDevicePlug.h"
#include "support/TestProcess.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Notice {
    WPARAM event;
    std::string name;
};
std::vector<Notice> received;

LRESULT CALLBACK recordNotices(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && lParam != 0) {
        auto header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            received.push_back(
                {wParam,
                 reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam)->dbcc_name});
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class NoticeDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        received.clear();
        WNDCLASSA c = {};
        c.lpfnWndProc = recordNotices;
        c.hInstance = GetModuleHandleA(nullptr);
        c.lpszClassName = "QvK9NoticeRecorder";
        RegisterClassA(&c);
        window = CreateWindowA("QvK9NoticeRecorder", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, c.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        sim::resetToDefaults();
    }
    HWND window = nullptr;
};

} // namespace

TEST_F(NoticeDelivery, ARegisteredWindowHearsArrivalAndRemovalWithTheDeviceIdentity) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    UniqueDeviceNotify notify(
        deviceNotices().registerWindow(window, &filter, DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
    ASSERT_TRUE(notify.valid());

    sim::unplug();
    sim::unplug(); // no change, no notice
    sim::plug();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(received[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    WORD vid = 0, pid = 0, mi = 0;
    std::string name = received[1].name;
    EXPECT_TRUE(CUsbAudioDevice::ParseVidPidMi(name.data(), &vid, &pid, &mi)) << name;
    EXPECT_EQ(vid, 0x1852);
    EXPECT_EQ(pid, 0x7022);
    EXPECT_EQ(mi, 1);

    notify.reset();
    sim::unplug();
    EXPECT_EQ(received.size(), 2u) << "unregistered: nothing more arrives";
}

TEST_F(NoticeDelivery, ArrivalForgetsStreamsThatRanBeforeTheRemoval) {
    sim::SimStreamActivity& play = sim::state()->streamActivity[0];
    play.running = 1;
    sim::unplug();
    sim::plug();
    EXPECT_EQ(play.running, 0);
    EXPECT_EQ(deviceNotices().registerWindow(nullptr, nullptr, 0), nullptr);
}

namespace {

constexpr char kHelperSwitch[] = "QVK9_NOTICE_HELPER";
constexpr char kHelperReady[] = "QvK9 Notice Helper Ready";

} // namespace

// Run by the test below in a process of its own: a window that registers for notices and waits
// for the removal and the arrival. Skipped when run as part of the suite.
TEST_F(NoticeDelivery, HelperWindowInAnotherProcess) {
    if (GetEnvironmentVariableA(kHelperSwitch, nullptr, 0) == 0)
        GTEST_SKIP() << "only as the helper process";
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    UniqueDeviceNotify notify(
        deviceNotices().registerWindow(window, &filter, DEVICE_NOTIFY_ALL_INTERFACE_CLASSES));
    ASSERT_TRUE(notify.valid());
    UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, kHelperReady));
    ASSERT_TRUE(ready.valid());
    SetEvent(ready.get());
    const DWORD start = GetTickCount();
    while (received.size() < 2 && GetTickCount() - start < 10000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(received[1].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_NE(received[1].name.find("VID_1852&PID_7022&MI_01"), std::string::npos);
}

TEST_F(NoticeDelivery, ReachesAWindowInAnotherProcess) {
    UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, kHelperReady));
    ASSERT_TRUE(ready.valid());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line =
        std::string("\"") + self + "\" --gtest_filter=NoticeDelivery.HelperWindowInAnotherProcess";
    SetEnvironmentVariableA(kHelperSwitch, "1");
    UniqueHandle process = startProcess(line);
    SetEnvironmentVariableA(kHelperSwitch, nullptr);
    ASSERT_TRUE(process.valid());
    ASSERT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);

    sim::unplug();
    sim::plug();
    ASSERT_EQ(WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u) << "the helper saw the removal and the arrival";
}
