#include "TopologyInterface.h"

#include "DeviceWireRecords.h"

#include "ports/DeviceSetup.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char kDeviceService[] = "CaQvK9";

// A zero-filled buffer, grown while the call asks for more; null on allocation failure.
std::unique_ptr<BYTE[]> zeroed(DWORD size) {
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]());
}

// The device's service name equals the USB audio driver's, terminator included.
bool runsOnDeviceService(HDEVINFO set, SP_DEVINFO_DATA* device) {
    DeviceSetup& setup = deviceSetup();
    DWORD size = 0;
    std::unique_ptr<BYTE[]> buffer;
    BOOL ok =
        setup.getDeviceRegistryProperty(set, device, SPDRP_SERVICE, nullptr, nullptr, 0, &size);
    while (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size != 0) {
        buffer = zeroed(size);
        if (!buffer)
            return false;
        ok = setup.getDeviceRegistryProperty(set, device, SPDRP_SERVICE, nullptr, buffer.get(),
                                             size, &size);
    }
    return ok && buffer && size >= sizeof(kDeviceService) &&
           std::memcmp(buffer.get(), kDeviceService, sizeof(kDeviceService)) == 0;
}

bool instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device, std::unique_ptr<char[]>* id) {
    DeviceSetup& setup = deviceSetup();
    DWORD size = 0;
    if (setup.getDeviceInstanceId(set, device, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return false;
    id->reset(new (std::nothrow) char[size]());
    return *id && setup.getDeviceInstanceId(set, device, id->get(), size, nullptr);
}

// The path of the first topology interface of that instance.
bool firstInterfacePath(const char* instanceId, char (&path)[kTopologyPathChars]) {
    DeviceSetup& setup = deviceSetup();
    UniqueDeviceInfoSet set(
        setup.getClassDevs(&kKsCategoryTopology, instanceId, nullptr, DIGCF_DEVICEINTERFACE));
    if (!set)
        return false;
    SP_DEVICE_INTERFACE_DATA item = {};
    item.cbSize = sizeof(item);
    if (!setup.enumDeviceInterfaces(set.get(), nullptr, &kKsCategoryTopology, 0, &item))
        return false;
    DWORD size = 0;
    if (setup.getDeviceInterfaceDetail(set.get(), &item, nullptr, 0, &size, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return false;
    std::unique_ptr<BYTE[]> buffer = zeroed(size);
    if (!buffer)
        return false;
    auto detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!setup.getDeviceInterfaceDetail(set.get(), &item, detail, size, nullptr, nullptr))
        return false;
    const size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const size_t length = strnlen(detail->DevicePath, room);
    if (length == room || length >= kTopologyPathChars)
        return false; // unterminated, or longer than a path may be
    std::memcpy(path, detail->DevicePath, length + 1);
    return true;
}

} // namespace

bool FindTopologyInterface(char (&path)[kTopologyPathChars]) {
    path[0] = '\0';
    DeviceSetup& setup = deviceSetup();
    UniqueDeviceInfoSet set(setup.getClassDevs(&kKsCategoryTopology, nullptr, nullptr,
                                               DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set)
        return false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    bool found = false;
    for (DWORD i = 0; !found && setup.enumDeviceInfo(set.get(), i, &device); ++i)
        found = runsOnDeviceService(set.get(), &device);
    if (!found)
        return false;
    std::unique_ptr<char[]> instanceId;
    if (!instanceIdOf(set.get(), &device, &instanceId))
        return false;
    if (!firstInterfacePath(instanceId.get(), path)) {
        path[0] = '\0';
        return false;
    }
    return true;
}
