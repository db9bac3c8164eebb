// System facts on the simulated machine: the version and processor a test chose, or the real ones.
#include "ports/SystemFacts.h"

#include "SharedRead.h"
#include "SimDeviceState.h"

#include <cstring>

namespace {

bool overridden() {
    return sim::switchedOn(sim::state()->version.active);
}

BOOL realVersion(OSVERSIONINFOA* info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(info);
#pragma GCC diagnostic pop
}

bool realNativeSystemInfo(SYSTEM_INFO* info) {
    using Fn = void(WINAPI*)(SYSTEM_INFO*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto fn = kernel != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "GetNativeSystemInfo")))
                                : nullptr;
    if (fn == nullptr)
        return false;
    fn(info);
    return true;
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

class SimSystemFacts final : public SystemFacts {
public:
    BOOL getVersionEx(OSVERSIONINFOA* info) override {
        return overridden() ? simulatedVersion(info) : realVersion(info);
    }
    bool getNativeSystemInfo(SYSTEM_INFO* info) override {
        if (!overridden())
            return realNativeSystemInfo(info);
        const sim::SimVersion& v = sim::state()->version;
        if (!sim::switchedOn(v.hasNativeSystemInfo) || info == nullptr)
            return false;
        GetSystemInfo(info);
        info->wProcessorArchitecture = sim::sharedRead(v.nativeArchitecture);
        return true;
    }
    void getSystemInfo(SYSTEM_INFO* info) override { GetSystemInfo(info); }
    BOOL openProcessToken(DWORD access, HANDLE* token) override {
        return OpenProcessToken(GetCurrentProcess(), access, token);
    }
    BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, void* info, DWORD size,
                             DWORD* returned) override {
        return GetTokenInformation(token, cls, info, size, returned);
    }
};

} // namespace

SystemFacts& systemFacts() {
    static SimSystemFacts instance;
    return instance;
}
