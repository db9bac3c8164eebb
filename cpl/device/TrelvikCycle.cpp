#include "TrelvikCycle.h"

#include "ports/DeviceIo.h"
#include "ports/Services.h"

#include <cstring>

namespace {

// Cuts `path` after its last backslash's predecessor: "C:\a\b.exe" becomes "C:\a".
bool cutAtLastBackslash(char* path) {
    char* last = std::strrchr(path, '\\');
    if (last == nullptr)
        return false;
    *last = '\0';
    return true;
}

bool installAndStart(SC_HANDLE manager, const char* binaryPath, const char* serviceName) {
    Services& scm = services();
    UniqueServiceHandle created(scm.createService(
        manager, serviceName, serviceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binaryPath));
    if (!created && GetLastError() != ERROR_SERVICE_EXISTS)
        return false;
    created.reset();
    UniqueServiceHandle service(scm.openService(manager, serviceName, SERVICE_ALL_ACCESS));
    if (!service)
        return false;
    if (scm.startService(service.get(), 0, nullptr))
        return true;
    return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
}

void stopAndDelete(SC_HANDLE manager, const char* serviceName) {
    Services& scm = services();
    if (UniqueServiceHandle service{scm.openService(manager, serviceName, SERVICE_ALL_ACCESS)}) {
        SERVICE_STATUS status = {};
        scm.controlService(service.get(), SERVICE_CONTROL_STOP, &status);
    }
    if (UniqueServiceHandle service{scm.openService(manager, serviceName, SERVICE_ALL_ACCESS)})
        scm.deleteService(service.get());
}

bool runBatch(DWORD code, RegValueRequest* records, int count, const CPlatformInfo& platform) {
    char target[kDriverPathChars] = {};
    if (!PrepareDriverFile(target, platform))
        return false; // nothing is installed
    ControlDriverService(target, kTrelvikServiceName, kInstallAndStart);
    bool ok = false;
    {
        // Closed before the service is stopped, so that the driver can unload.
        UniqueDeviceHandle device(deviceIo().createFile(kTrelvikDevicePath,
                                                        GENERIC_READ | GENERIC_WRITE, 0,
                                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
        if (device) {
            ok = true;
            for (int i = 0; i < count && ok; ++i) {
                DWORD returned = 0;
                ok = deviceIo().deviceIoControl(device.get(), code, &records[i],
                                                sizeof(RegValueRequest), &records[i],
                                                sizeof(RegValueRequest), &returned) != FALSE;
            }
        }
    }
    if (target[0] != '\0')
        ControlDriverService(target, kTrelvikServiceName, kStopAndDelete);
    return ok;
}

} // namespace

bool AppendPath(char (&path)[kDriverPathChars], const char* tail) {
    const size_t have = strnlen(path, kDriverPathChars);
    const size_t add = std::strlen(tail);
    if (have >= kDriverPathChars || have + add >= kDriverPathChars)
        return false;
    std::memcpy(path + have, tail, add + 1);
    return true;
}

bool PrepareDriverFile(char (&path)[kDriverPathChars], const CPlatformInfo& platform) {
    char source[kDriverPathChars] = {};
    const DWORD length = GetModuleFileNameA(nullptr, source, kDriverPathChars);
    if (length == 0 || length >= kDriverPathChars) // cut short: not the program's path
        return false;
    if (!cutAtLastBackslash(source) || !AppendPath(source, "\\Trelvik.dll"))
        return false;

    char target[kDriverPathChars] = {};
    const UINT system = GetSystemDirectoryA(target, kDriverPathChars);
    if (system == 0 || system >= kDriverPathChars)
        return false;
    if (!platform.x86 && (!cutAtLastBackslash(target) || !AppendPath(target, "\\SysWOW64")))
        return false;
    if (!AppendPath(target, "\\Trelvik.sys"))
        return false;

    if (!CopyFileA(source, target, FALSE))
        return false;
    std::memcpy(path, target, sizeof(target));
    UniqueHandle check(
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return check.valid();
}

bool ControlDriverService(const char* binaryPath, const char* serviceName, int action) {
    if (binaryPath == nullptr || serviceName == nullptr)
        return false;
    if (action != kInstallAndStart && action != kStopAndDelete)
        return false;
    UniqueServiceHandle manager(services().openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return false;
    if (action == kInstallAndStart)
        return installAndStart(manager.get(), binaryPath, serviceName);
    stopAndDelete(manager.get(), serviceName);
    return true;
}

bool WriteValuesViaDriver(RegValueRequest* records, const CPlatformInfo& platform) {
    return records != nullptr && runBatch(kIoctlRegValueWrite, records, 2, platform);
}

bool ReadValuesViaDriver(RegValueRequest* records, const CPlatformInfo& platform, int count) {
    if (records == nullptr || count < 1 || count > 2)
        return false;
    return runBatch(kIoctlRegValueRead, records, count, platform);
}
