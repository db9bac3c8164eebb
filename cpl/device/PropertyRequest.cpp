#include "PropertyRequest.h"

#include "DeviceWireRecords.h"

#include "ports/DeviceIo.h"

bool SendDeviceProperty(HANDLE filter, uint32_t id, uint32_t flags, void* value16) {
    KsPropertyHeader property{kDevicePropertySet, id, flags};
    DWORD returned = 0;
    // Synchronous and without a time-out: the filter answers from its own state at once.
    const BOOL ok =
        deviceIo().deviceIoControl(filter, kIoctlKsProperty, &property, sizeof(property), value16,
                                   kPropertyValueBytes, &returned);
    return ok && returned >= kPropertyValueBytes;
}
