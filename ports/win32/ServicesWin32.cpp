#include "ServicesWin32.h"

SC_HANDLE ServicesWin32::openSCManager(const char* machine, const char* database, DWORD access) {
    return OpenSCManagerA(machine, database, access);
}

SC_HANDLE ServicesWin32::createService(SC_HANDLE manager, const char* name, const char* displayName,
                                       DWORD access, DWORD type, DWORD startType,
                                       DWORD errorControl, const char* binaryPath) {
    return CreateServiceA(manager, name, displayName, access, type, startType, errorControl,
                          binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
}

SC_HANDLE ServicesWin32::openService(SC_HANDLE manager, const char* name, DWORD access) {
    return OpenServiceA(manager, name, access);
}

BOOL ServicesWin32::startService(SC_HANDLE service, DWORD argc, const char** argv) {
    return StartServiceA(service, argc, argv);
}

BOOL ServicesWin32::controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    return ControlService(service, control, status);
}

BOOL ServicesWin32::deleteService(SC_HANDLE service) {
    return DeleteService(service);
}

BOOL ServicesWin32::closeServiceHandle(SC_HANDLE handle) {
    return CloseServiceHandle(handle);
}
