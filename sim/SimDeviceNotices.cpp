// Device notices on the simulated machine: registrations are kept in the shared state, so that
// plugging or unplugging the device from any process reaches every registered window, in any
// process, with WM_DEVICECHANGE as Windows sends it.
#include "ports/DeviceNotices.h"

#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimDevicePlug.h"
#include "StreamActivity.h"

#include <dbt.h>

#include <cstdio>
#include <cstring>

namespace {

// KSCATEGORY_AUDIO, for windows that asked for every interface class.
constexpr GUID kKsCategoryAudio = {
    0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr char kDeviceInterfaceName[] = "\\\\?\\USB#VID_1852&PID_7022&MI_01#7&1a2b3c4d&0&0001#";
// A window that does not answer within this time is passed over, as the system does.
constexpr UINT kNoticeTimeoutMs = 5000;

// Handles are the slot number plus one.
HDEVNOTIFY handleOf(int slot) {
    return reinterpret_cast<HDEVNOTIFY>(static_cast<UINT_PTR>(slot + 1));
}

class SimDeviceNotices final : public DeviceNotices {
public:
    HDEVNOTIFY registerWindow(HWND window, void* filter, DWORD flags) override {
        if (window == nullptr || filter == nullptr || !IsWindow(window)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        GUID classGuid = kKsCategoryAudio;
        auto header = static_cast<const DEV_BROADCAST_HDR*>(filter);
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE &&
            (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) == 0)
            classGuid = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter)->dbcc_classguid;
        sim::SimState* s = sim::state();
        const LONG value = HandleToLong(window);
        for (int i = 0; i < sim::kMaxNoticeWindows; ++i) {
            sim::SimNoticeWindow& slot = s->noticeWindows[i];
            if (InterlockedCompareExchange(&slot.window, value, 0) == 0) {
                slot.process = GetCurrentProcessId();
                slot.classGuid = classGuid;
                return handleOf(i);
            }
        }
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    BOOL unregister(HDEVNOTIFY notify) override {
        const UINT_PTR slot = reinterpret_cast<UINT_PTR>(notify);
        if (slot == 0 || slot > sim::kMaxNoticeWindows) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        InterlockedExchange(&sim::state()->noticeWindows[slot - 1].window, 0);
        return TRUE;
    }
};

void broadcast(WPARAM event) {
    sim::SimState* s = sim::state();
    for (int i = 0; i < sim::kMaxNoticeWindows; ++i) {
        sim::SimNoticeWindow& slot = s->noticeWindows[i];
        const LONG value = sim::sharedRead(slot.window);
        if (value == 0)
            continue;
        HWND window = static_cast<HWND>(LongToHandle(value));
        if (!IsWindow(window)) { // its program ended without unregistering
            InterlockedCompareExchange(&slot.window, 0, value);
            continue;
        }
        char record[sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + 200] = {};
        auto notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record);
        notice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        notice->dbcc_classguid = slot.classGuid;
        const GUID& g = notice->dbcc_classguid;
        std::snprintf(
            notice->dbcc_name, 200, "%s{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}\\global",
            kDeviceInterfaceName, static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0],
            g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
        notice->dbcc_size =
            static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) +
                               std::strlen(notice->dbcc_name) + 1);
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(notice),
                            SMTO_NORMAL, kNoticeTimeoutMs, &answer);
    }
}

} // namespace

DeviceNotices& deviceNotices() {
    static SimDeviceNotices instance;
    return instance;
}

namespace sim {

// Only a change of state is announced, as with a real cable.
void plug() {
    auto unplugged = reinterpret_cast<volatile LONG*>(&state()->unplugged);
    if (*unplugged == 0)
        return;
    forgetStreams(); // before the device shows again: nothing runs on it yet
    if (InterlockedExchange(unplugged, 0) != 0)
        broadcast(DBT_DEVICEARRIVAL);
}

void unplug() {
    if (InterlockedExchange(reinterpret_cast<volatile LONG*>(&state()->unplugged), 1) == 0)
        broadcast(DBT_DEVICEREMOVECOMPLETE);
}

} // namespace sim
