// Device I/O on the simulated machine: handles on the kernel devices it has, refused for any
// other path, as Windows refuses a path with no device behind it.
#include "ports/DeviceIo.h"

#include "HandleTable.h"
#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimKernelDevices.h"

#include "cpl/device/DeviceWireRecords.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct OpenDevice {
    int filter = -1; // a topology filter; -1: the Trelvik device
};

sim::HandleTable<OpenDevice>& table() {
    return sim::HandleTable<OpenDevice>::instance();
}

HANDLE refuse(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

class SimDeviceIo final : public DeviceIo {
public:
    HANDLE createFile(const char* path, DWORD, DWORD, DWORD, DWORD) override {
        try {
            if (path == nullptr)
                return refuse(ERROR_INVALID_PARAMETER);
            auto device = std::make_unique<OpenDevice>();
            if (lstrcmpiA(path, kTrelvikDevicePath) == 0) {
                if (!sim::trelvikPresent())
                    return refuse(ERROR_FILE_NOT_FOUND);
            } else {
                device->filter = sim::findTopologyFilter(path);
                if (device->filter < 0)
                    return refuse(ERROR_FILE_NOT_FOUND);
                if (sim::isDeviceFilter(device->filter) &&
                    sim::switchedOn(sim::state()->faults.topologyOpenFails))
                    return refuse(ERROR_ACCESS_DENIED);
            }
            return static_cast<HANDLE>(table().add(std::move(device)));
        } catch (...) {
            return refuse(ERROR_NOT_ENOUGH_MEMORY);
        }
    }

    BOOL deviceIoControl(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override {
        OpenDevice device;
        if (!table().copy(handle, &device)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (device.filter >= 0)
            return sim::topologyRequest(device.filter, code, in, inSize, out, outSize, returned);
        return sim::trelvikRequest(code, in, inSize, out, outSize, returned);
    }

    BOOL closeHandle(HANDLE handle) override {
        if (table().take(handle))
            return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
};

} // namespace

DeviceIo& deviceIo() {
    static SimDeviceIo instance;
    return instance;
}
