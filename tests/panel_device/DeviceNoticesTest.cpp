// Plugging and unplugging the simulated device reaches the windows registered for notices.
#include "SimulatedSystem.h"

#include "cpl/device/UsbAudioDevice.h"
#include "ports/DeviceNotices.h"
#include "sim/SimDevicePlug.h"

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
