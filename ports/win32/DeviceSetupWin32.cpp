#include "../DeviceSetup.h"

namespace {

class DeviceSetupWin32 final : public DeviceSetup {
public:
    HDEVINFO getClassDevs(const GUID* guid, const char* enumerator, HWND parent,
                          DWORD flags) override {
        return SetupDiGetClassDevsA(guid, enumerator, parent, flags);
    }
    BOOL enumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) override {
        return SetupDiEnumDeviceInfo(set, index, data);
    }
    BOOL getDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                   DWORD* dataType, BYTE* buffer, DWORD size,
                                   DWORD* required) override {
        return SetupDiGetDeviceRegistryPropertyA(set, data, property, dataType, buffer, size,
                                                 required);
    }
    BOOL destroyDeviceInfoList(HDEVINFO set) override { return SetupDiDestroyDeviceInfoList(set); }
    BOOL getDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char* id, DWORD size,
                             DWORD* required) override {
        return SetupDiGetDeviceInstanceIdA(set, data, id, size, required);
    }
    BOOL enumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data, const GUID* guid, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* interfaceData) override {
        return SetupDiEnumDeviceInterfaces(set, data, guid, index, interfaceData);
    }
    BOOL getDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                                  DWORD* required, SP_DEVINFO_DATA* data) override {
        return SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, size, required, data);
    }
};

} // namespace

DeviceSetup& deviceSetup() {
    static DeviceSetupWin32 instance;
    return instance;
}
