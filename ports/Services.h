// Port: the service control manager, for the kernel driver the panel installs for a few requests.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

class Services {
public:
    virtual ~Services() = default;

    virtual SC_HANDLE openSCManager(const char* machine, const char* database, DWORD access) = 0;
    // No load-order group, tag, dependencies, account or password.
    virtual SC_HANDLE createService(SC_HANDLE manager, const char* name, const char* displayName,
                                    DWORD access, DWORD type, DWORD startType, DWORD errorControl,
                                    const char* binaryPath) = 0;
    virtual SC_HANDLE openService(SC_HANDLE manager, const char* name, DWORD access) = 0;
    virtual BOOL startService(SC_HANDLE service, DWORD argc, const char** argv) = 0;
    virtual BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) = 0;
    virtual BOOL deleteService(SC_HANDLE service) = 0;
    virtual BOOL closeServiceHandle(SC_HANDLE handle) = 0;
};

Services& services();

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { services().closeServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;
