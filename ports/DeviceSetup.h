// Port: the device-setup functions (SetupDi*) used to find device properties and interfaces.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>
#include <setupapi.h>

class DeviceSetup {
public:
    virtual ~DeviceSetup() = default;

    virtual HDEVINFO getClassDevs(const GUID* classGuid, const char* enumerator, HWND parent,
                                  DWORD flags) = 0;
    virtual BOOL enumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) = 0;
    virtual BOOL getDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                           DWORD* dataType, BYTE* buffer, DWORD size,
                                           DWORD* requiredSize) = 0;
    virtual BOOL destroyDeviceInfoList(HDEVINFO set) = 0;
    virtual BOOL getDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char* id, DWORD size,
                                     DWORD* requiredSize) = 0;
    virtual BOOL enumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data, const GUID* guid,
                                      DWORD index, SP_DEVICE_INTERFACE_DATA* interfaceData) = 0;
    virtual BOOL getDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD size,
                                          DWORD* requiredSize, SP_DEVINFO_DATA* data) = 0;
};

DeviceSetup& deviceSetup();

struct DeviceInfoSetTraits {
    using Type = HDEVINFO;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { deviceSetup().destroyDeviceInfoList(h); }
};
using UniqueDeviceInfoSet = UniqueResource<DeviceInfoSetTraits>;
