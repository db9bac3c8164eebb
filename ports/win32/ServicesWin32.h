// The real service control manager. The simulated machine builds on it for what Wine carries.
#pragma once

#include "ports/Services.h"

class ServicesWin32 : public Services {
public:
    SC_HANDLE openSCManager(const char* machine, const char* database, DWORD access) override;
    SC_HANDLE createService(SC_HANDLE manager, const char* name, const char* displayName,
                            DWORD access, DWORD type, DWORD startType, DWORD errorControl,
                            const char* binaryPath) override;
    SC_HANDLE openService(SC_HANDLE manager, const char* name, DWORD access) override;
    BOOL startService(SC_HANDLE service, DWORD argc, const char** argv) override;
    BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
    BOOL deleteService(SC_HANDLE service) override;
    BOOL closeServiceHandle(SC_HANDLE handle) override;
};
