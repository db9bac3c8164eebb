// Test helpers: the simulated machine set up as a given Windows version.
#pragma once

#include "sim/SimDeviceState.h"

inline void runAsWindows(DWORD major, DWORD minor,
                         WORD architecture = PROCESSOR_ARCHITECTURE_INTEL) {
    sim::SimVersion& v = sim::state()->version;
    v.platformId = VER_PLATFORM_WIN32_NT;
    v.major = major;
    v.minor = minor;
    v.productType = VER_NT_WORKSTATION;
    v.hasNativeSystemInfo = 1;
    v.nativeArchitecture = architecture;
    v.active = 1;
}

inline void runAsWindowsXp() {
    runAsWindows(5, 1);
}
inline void runAsWindows7() {
    runAsWindows(6, 1);
}
