// System facts on the simulated machine: the version and processor a test chose, or the real ones.
#include "ports/win32/SystemFactsWin32.h"

#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimInstallerRecord.h"

#include <cstring>

namespace {

bool overridden() {
    return sim::switchedOn(sim::state()->version.active);
}

// Answers as GetVersionExA does: the record's size field says which form is asked, and only the
// fields of that form are written.
BOOL simulatedVersion(OSVERSIONINFOA* info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const sim::SimVersion v = sim::state()->version;
    const DWORD size = info->dwOSVersionInfoSize;
    const bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (!extended && size != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (extended ? v.failExtended : v.failBasic) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platformId;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    if (extended) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = v.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

class SimSystemFacts final : public SystemFactsWin32 {
public:
    BOOL getVersionEx(OSVERSIONINFOA* info) override {
        return overridden() ? simulatedVersion(info) : SystemFactsWin32::getVersionEx(info);
    }
    bool getNativeSystemInfo(SYSTEM_INFO* info) override {
        if (!overridden())
            return SystemFactsWin32::getNativeSystemInfo(info);
        const sim::SimVersion& v = sim::state()->version;
        if (!sim::switchedOn(v.hasNativeSystemInfo) || info == nullptr)
            return false;
        GetSystemInfo(info);
        info->wProcessorArchitecture = sim::sharedRead(v.nativeArchitecture);
        return true;
    }

    // The simulated token: the shutdown privilege is granted unless a test took it away.
    BOOL adjustTokenPrivileges(HANDLE, TOKEN_PRIVILEGES* newState) override {
        if (newState == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        sim::SimInstallerRecord* r = sim::installerRecord();
        InterlockedIncrement(&r->privilegeAdjustments);
        if (sim::switchedOn(r->shutdownPrivilegeMissing)) {
            SetLastError(ERROR_NOT_ALL_ASSIGNED);
            return TRUE;
        }
        const bool enable = newState->PrivilegeCount > 0 &&
                            (newState->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        r->shutdownPrivilegeEnabled = enable ? 1 : 0;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }

    // Recorded, never passed on: a test run must not restart the machine it runs on.
    BOOL initiateSystemShutdown(wchar_t* message, DWORD timeoutSeconds, BOOL forceAppsClosed,
                                BOOL reboot) override {
        sim::SimInstallerRecord* r = sim::installerRecord();
        r->privilegeEnabledAtRequest = sim::sharedRead(r->shutdownPrivilegeEnabled);
        r->lastTimeoutSeconds = timeoutSeconds;
        r->lastForceAppsClosed = forceAppsClosed ? 1 : 0;
        r->lastReboot = reboot ? 1 : 0;
        lstrcpynW(r->lastNotice, message != nullptr ? message : L"",
                  static_cast<int>(sizeof(r->lastNotice) / sizeof(wchar_t)));
        MemoryBarrier();
        InterlockedIncrement(&r->shutdownRequests);
        return TRUE;
    }
};

} // namespace

SystemFacts& systemFacts() {
    static SimSystemFacts instance;
    return instance;
}
