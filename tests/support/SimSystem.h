// Tests set the Windows the simulated machine reports instead of relying on the prefix's.
#pragma once

#include "sim/SimDeviceState.h"

#include <windows.h>

inline void useVersion(DWORD platform, DWORD major, DWORD minor,
                       BYTE productType = VER_NT_WORKSTATION) {
    sim::SimVersion& v = sim::state()->version;
    v.active = 1;
    v.platformId = platform;
    v.major = major;
    v.minor = minor;
    v.productType = productType;
}

// Windows 7: the NT 6 generation, where the driver names endpoints from device setup and
// derives its preferred buffer size with the divisor 20.
inline void useWindows7() {
    useVersion(VER_PLATFORM_WIN32_NT, 6, 1);
}
