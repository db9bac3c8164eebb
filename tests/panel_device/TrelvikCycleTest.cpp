// The Trelvik cycle on its own: the driver file, the service in the real service control
// manager (its start and stop simulated), and the device's refusal of records it cannot follow.
#include "SimulatedSystem.h"

#include "cpl/device/LowMemory.h"
#include "cpl/device/TrelvikCycle.h"
#include "cpl/device/UsbAudioDevice.h"
#include "ports/Services.h"
#include "sim/SimEndpointRegistry.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class TrelvikCycle : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        runAsWindows7();
        source = testProgramFolder() + "Trelvik.dll";
        HANDLE f = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
        ASSERT_TRUE(sim::writeEndpointFormats(sim::kDefaultRenderEndpoint, 0, 44100, 16));
        ASSERT_TRUE(ReadSystemInfo(platform));
    }
    void TearDown() override {
        removeService();
        sim::removeEndpointKey(sim::kDefaultRenderEndpoint, 0);
        DeleteFileA(source.c_str());
        sim::resetToDefaults();
    }

    static bool serviceExists() {
        UniqueServiceHandle scm(services().openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        UniqueServiceHandle s(scm ? services().openService(scm.get(), "Trelvik", SERVICE_ALL_ACCESS)
                                  : nullptr);
        return s.valid();
    }
    static bool createService(const char* binary) {
        UniqueServiceHandle scm(services().openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        UniqueServiceHandle s(
            scm ? services().createService(scm.get(), "Trelvik", "Trelvik", SERVICE_ALL_ACCESS,
                                           SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                           SERVICE_ERROR_NORMAL, binary)
                : nullptr);
        return s.valid();
    }
    static void removeService() {
        UniqueServiceHandle scm(services().openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        if (UniqueServiceHandle s{
                scm ? services().openService(scm.get(), "Trelvik", SERVICE_ALL_ACCESS) : nullptr})
            services().deleteService(s.get());
    }

    bool readRenderFormat(DWORD* rate) {
        CUsbAudioDevice device;
        WORD channels = 0, bits = 0;
        return device.ReadEndpointFormat(sim::kDefaultRenderEndpoint, 0, rate, &channels, &bits);
    }

    std::string source;
    CPlatformInfo platform;
};

} // namespace

TEST_F(TrelvikCycle, AMissingDriverFileTouchesNoService) {
    DeleteFileA(source.c_str());
    DWORD rate = 0;
    EXPECT_FALSE(readRenderFormat(&rate));
    EXPECT_EQ(sim::state()->trelvik.starts, 0);
    EXPECT_FALSE(serviceExists());
}

TEST_F(TrelvikCycle, TheTargetIsInTheSystemFolderOrSysWow64OnA64BitWindows) {
    char path[kDriverPathChars];
    CPlatformInfo x86 = platform;
    x86.x86 = true;
    ASSERT_TRUE(PrepareDriverFile(path, x86));
    char expected[MAX_PATH];
    GetSystemDirectoryA(expected, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(path, (std::string(expected) + "\\Trelvik.sys").c_str()), 0) << path;

    // The real answer of this machine: a 64-bit prefix says the Windows is 64-bit.
    CPlatformInfo real;
    sim::state()->version.active = 0;
    ASSERT_TRUE(ReadSystemInfo(real));
    if (real.x86)
        GTEST_SKIP() << "a 32-bit Windows has no SysWOW64";
    ASSERT_TRUE(PrepareDriverFile(path, real));
    GetWindowsDirectoryA(expected, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(path, (std::string(expected) + "\\SysWOW64\\Trelvik.sys").c_str()), 0)
        << path;
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TrelvikCycle, AServiceLeftByAnEarlierRunIsReusedAndRemoved) {
    ASSERT_TRUE(createService("C:\\windows\\system32\\Trelvik.sys"));
    DWORD rate = 0;
    ASSERT_TRUE(readRenderFormat(&rate));
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(sim::state()->trelvik.starts, 1);
    EXPECT_EQ(sim::state()->trelvik.stops, 1);
    EXPECT_FALSE(serviceExists());
}

TEST_F(TrelvikCycle, ADriverAlreadyRunningIsNotStartedAgainButStoppedAtTheEnd) {
    ASSERT_TRUE(createService("C:\\windows\\system32\\Trelvik.sys"));
    sim::state()->trelvik.running = 1;
    DWORD rate = 0;
    ASSERT_TRUE(readRenderFormat(&rate));
    EXPECT_EQ(sim::state()->trelvik.starts, 0);
    EXPECT_EQ(sim::state()->trelvik.running, 0);
    EXPECT_FALSE(serviceExists());
}

TEST_F(TrelvikCycle, ServiceControlRefusesWhatItCannotDo) {
    EXPECT_FALSE(ControlDriverService(nullptr, "Trelvik", kInstallAndStart));
    EXPECT_FALSE(ControlDriverService("C:\\x.sys", nullptr, kInstallAndStart));
    EXPECT_FALSE(ControlDriverService("C:\\x.sys", "Trelvik", 3));
    EXPECT_FALSE(serviceExists());
    EXPECT_TRUE(ControlDriverService("C:\\x.sys", "Trelvik", kStopAndDelete))
        << "removing what is not there succeeds";
}

TEST(DriverPath, AppendsOnlyWhatFitsIn260Characters) {
    char path[kDriverPathChars] = {};
    std::memset(path, 'a', 250);
    EXPECT_TRUE(AppendPath(path, "\\12345678"));
    EXPECT_EQ(std::strlen(path), 259u);
    EXPECT_FALSE(AppendPath(path, "x")) << "no room for the terminator";
    EXPECT_EQ(std::strlen(path), 259u) << "a refused append leaves the path as it was";
    char full[kDriverPathChars];
    std::memset(full, 'b', sizeof(full)); // no terminator at all
    EXPECT_FALSE(AppendPath(full, ""));
}

TEST_F(TrelvikCycle, TheDeviceRefusesAddressesThatLeadNowhere) {
    UniqueVirtualMemory memory = AllocateLowMemory(4096);
    ASSERT_TRUE(memory.valid());
    uint32_t low = 0;
    ASSERT_TRUE(ToAddress32(memory.get(), &low));
    EXPECT_FALSE(ToAddress32(reinterpret_cast<void*>(uintptr_t{0}), &low));
#if defined(_WIN64)
    EXPECT_FALSE(ToAddress32(reinterpret_cast<void*>(uintptr_t{1} << 33), &low))
        << "a 64-bit address above 4 GB does not fit the record";
#endif
    auto* text = static_cast<wchar_t*>(memory.get());
    std::wcscpy(text, L"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                      L"MMDevices\\Audio\\Render\\{5a1c7e02-4b7d-4f1e-9c1a-18527022a001}\\"
                      L"Properties");
    wchar_t* name = text + 200;
    std::wcscpy(name, sim::kDeviceFormatValueName);
    RegValueRequest record = {};
    record.size = sizeof(record);
    record.type = REG_BINARY;
    record.length = kRegValueReadCapacity;
    ASSERT_TRUE(ToAddress32(text, &record.keyPath));
    ASSERT_TRUE(ToAddress32(name, &record.valueName));
    record.data = 0x10; // nothing is mapped there
    EXPECT_FALSE(ReadValuesViaDriver(&record, platform, 1));
    EXPECT_EQ(sim::state()->trelvik.refused, 1);
    EXPECT_FALSE(serviceExists());

    ASSERT_TRUE(ToAddress32(static_cast<uint8_t*>(memory.get()) + 2048, &record.data));
    EXPECT_TRUE(ReadValuesViaDriver(&record, platform, 1));
    EXPECT_EQ(
        std::memcmp(static_cast<uint8_t*>(memory.get()) + 2048 + 12, sim::kFormatValueHeader, 8), 0)
        << "the value starts after the 12-byte header";
    EXPECT_FALSE(ReadValuesViaDriver(&record, platform, 3)) << "one or two records per batch";
}
