// Port: CreateFileA, DeviceIoControl and CloseHandle on device paths (the topology filter, the
// Trelvik device). Handles it gives are closed through it.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

class DeviceIo {
public:
    virtual ~DeviceIo() = default;

    virtual HANDLE createFile(const char* path, DWORD access, DWORD share, DWORD creation,
                              DWORD flags) = 0;
    // Synchronous, no OVERLAPPED.
    virtual BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned) = 0;
    virtual BOOL closeHandle(HANDLE device) = 0;
};

DeviceIo& deviceIo();

struct DeviceIoHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { deviceIo().closeHandle(h); }
};
using UniqueDeviceHandle = UniqueResource<DeviceIoHandleTraits>;
