#include "ports/DeviceNotices.h"

#include <dbt.h>

namespace {

class DeviceNoticesWin32 final : public DeviceNotices {
public:
    HDEVNOTIFY registerWindow(HWND window, void* filter, DWORD flags) override {
        return RegisterDeviceNotificationA(window, filter, flags | DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    BOOL unregister(HDEVNOTIFY notify) override { return UnregisterDeviceNotification(notify); }
};

} // namespace

DeviceNotices& deviceNotices() {
    static DeviceNoticesWin32 instance;
    return instance;
}
