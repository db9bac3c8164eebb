#include "WindowsVersion.h"

#include "UniqueResource.h"
#include "ports/SystemFacts.h"

namespace {

struct VersionRow {
    DWORD platformId;
    DWORD major;
    DWORD minor;
    int workstation; // -1: any product type, 1: workstation only, 0: anything but workstation
    WindowsVersionCode code;
};

// Exact versions; NT 4 and older are handled apart.
constexpr VersionRow kVersionTable[] = {
    {VER_PLATFORM_WIN32_WINDOWS, 4, 0, -1, 1},  {VER_PLATFORM_WIN32_WINDOWS, 4, 10, -1, 2},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 90, -1, 3}, {VER_PLATFORM_WIN32_NT, 5, 0, -1, 5},
    {VER_PLATFORM_WIN32_NT, 5, 1, -1, 6},       {VER_PLATFORM_WIN32_NT, 5, 2, -1, 7},
    {VER_PLATFORM_WIN32_NT, 6, 0, 1, 8},        {VER_PLATFORM_WIN32_NT, 6, 0, 0, 9},
    {VER_PLATFORM_WIN32_NT, 6, 1, 1, 10},       {VER_PLATFORM_WIN32_NT, 6, 1, 0, 11},
};

WindowsVersionCode classify(const OSVERSIONINFOEXA& v) {
    if (v.dwPlatformId == VER_PLATFORM_WIN32s)
        return 0;
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion <= 4)
        return 4;
    const int workstation = v.wProductType == VER_NT_WORKSTATION ? 1 : 0;
    for (const VersionRow& row : kVersionTable) {
        if (row.platformId == v.dwPlatformId && row.major == v.dwMajorVersion &&
            row.minor == v.dwMinorVersion &&
            (row.workstation < 0 || row.workstation == workstation))
            return row.code;
    }
    return kVersionUnknown;
}

} // namespace

bool ReadVersionRecord(OSVERSIONINFOEXA& version) {
    SystemFacts& facts = systemFacts();
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version)))
        return true;
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return facts.getVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version)) != FALSE;
}

bool ReadSystemInfo(CPlatformInfo& platform) {
    platform.versionCode = kVersionUnknown;
    platform.x86 = true;

    SystemFacts& facts = systemFacts();
    SYSTEM_INFO info = {};
    if (!facts.getNativeSystemInfo(&info))
        facts.getSystemInfo(&info);
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ||
        info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
        platform.x86 = false;

    OSVERSIONINFOEXA version;
    if (!ReadVersionRecord(version))
        return false;

    switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
    case VER_PLATFORM_WIN32_WINDOWS:
        break;
    case VER_PLATFORM_WIN32_NT:
        platform.majorVersion = version.dwMajorVersion;
        break;
    default:
        return false;
    }
    platform.versionCode = classify(version);
    return true;
}

void LogElevation() {
    SystemFacts& facts = systemFacts();
    HANDLE raw = nullptr;
    if (!facts.openProcessToken(TOKEN_QUERY, &raw))
        return;
    UniqueHandle token(raw);

    DWORD value = 0;
    DWORD returned = 0;
    if (facts.getTokenInformation(token.get(), TokenElevationType, &value, sizeof(value),
                                  &returned)) {
        OutputDebugStringA(value == TokenElevationTypeDefault ? "Elevation Default"
                           : value == TokenElevationTypeFull  ? "Elevation Full"
                                                              : "Elevation Limited");
    }
    if (facts.getTokenInformation(token.get(), TokenElevation, &value, sizeof(value), &returned))
        OutputDebugStringA(value != 0 ? "Elevated!" : "NOT Elevated!");
}
