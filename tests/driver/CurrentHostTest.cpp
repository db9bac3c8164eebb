// A host that declares current Windows versions in its manifest is told the version it runs on
// (10.0 on Windows 10 and 11), and the driver must open there as it does for any other host.
#include "sim/SimDeviceState.h"
#include "support/RegisteredDriver.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

namespace {

// The kernel's own answer, which no manifest changes.
bool kernelVersion(DWORD& major, DWORD& minor) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto fn = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (fn == nullptr || fn(&info) != 0)
        return false;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

} // namespace

TEST(CurrentHost, IsToldTheVersionItRunsOnAndOpensTheDriver) {
    DWORD major = 0, minor = 0;
    ASSERT_TRUE(kernelVersion(major, minor));
    OSVERSIONINFOA seen = {};
    seen.dwOSVersionInfoSize = sizeof(seen);
    ASSERT_TRUE(GetVersionExA(&seen));
    EXPECT_EQ(seen.dwMajorVersion, major) << "the test program's manifest declares Windows 10";
    EXPECT_EQ(seen.dwMinorVersion, minor);

    sim::resetToDefaults(); // the simulated machine reports what the system reports
    ASSERT_TRUE(registerDriver(simDriverPath()));
    ComApartment com;
    RegisteredDriver driver;
    ASSERT_EQ(driver.create(), S_OK);
    EXPECT_EQ(driver->init(nullptr), ASIOTrue) << "on Windows " << major << "." << minor;
}
