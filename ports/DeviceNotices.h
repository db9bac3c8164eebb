// Port: registration of windows for device arrival and removal notices (WM_DEVICECHANGE).
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

class DeviceNotices {
public:
    virtual ~DeviceNotices() = default;

    // RegisterDeviceNotificationA for a window (DEVICE_NOTIFY_WINDOW_HANDLE); null on failure.
    virtual HDEVNOTIFY registerWindow(HWND window, void* filter, DWORD flags) = 0;
    virtual BOOL unregister(HDEVNOTIFY notify) = 0;
};

DeviceNotices& deviceNotices();

struct DeviceNoticeTraits {
    using Type = HDEVNOTIFY;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { deviceNotices().unregister(h); }
};
using UniqueDeviceNotify = UniqueResource<DeviceNoticeTraits>;
