// The driver stage against the real device-setup functions of the test prefix: which device
// instances and OEM INF copies go, the INF pre-install per Windows version, re-enumeration.
#include "InstallerMachine.h"
#include "RecordingShell.h"
#include "TestDevices.h"

#include "installer/InstallerRun.h"
#include "installer/SearchPath.h"
#include "sim/SimDeviceState.h"
#include "sim/SimInstallerRecord.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kOurs[] = L"USB\\VID_1852&PID_7022&REV_0100&MI_01";
constexpr wchar_t kOursOtherInterface[] = L"USB\\VID_1852&PID_7022&REV_0100&MI_00";
constexpr wchar_t kOursCompatible[] = L"USB\\VID_1852&PID_7022&MI_01";
constexpr wchar_t kWholeDevice[] = L"USB\\VID_1852&PID_7022&REV_0100";
constexpr wchar_t kTestInf[] = L"QvK9StageTest.inf";
constexpr char kPlaceholder[] = "QvK9StageTest.sys";

std::wstring instance(int n) {
    return L"USB\\VID_1852&PID_7022&MI_01\\QVK9STAGETEST" + std::to_wstring(n);
}

std::wstring oemName(int n) {
    return L"oem99" + std::to_wstring(n) + L".inf";
}

class DriverStage : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        SimulateWindows(10);
        folder_ = ScratchFolder(L"QvK9StagePackage");
        CreateDirectoryW((folder_ + L"Driver").c_str(), nullptr);
        infPath_ = folder_ + L"Driver\\" + kTestInf;
        WriteTextFile(infPath_, DriverInfText("QvK9Install", kPlaceholder));
        WriteTextFile(folder_ + L"Driver\\" + Widen(kPlaceholder), "placeholder");
        removeLeftovers();
    }
    void TearDown() override {
        removeLeftovers();
        RemoveFolder(folder_);
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSigningSettingsKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall");
    }
    void removeLeftovers() {
        for (int n = 0; n < 16; ++n) {
            RemoveDevice(instance(n));
            DeleteFileW((WindowsInfFolderPath() + oemName(n)).c_str());
        }
        for (const wchar_t* name : {L"QvK9StageTest.inf", L"QvK9StageTest.pnf"})
            DeleteFileW((WindowsInfFolderPath() + name).c_str());
        DeleteFileW(driversFile().c_str());
    }
    // A device of ours whose OEM INF is the package's (with the section) or another's.
    void makeDevice(int n, const wchar_t* hardwareId, bool packageInf) {
        const std::wstring inf = oemName(n);
        WriteTextFile(WindowsInfFolderPath() + inf,
                      DriverInfText(packageInf ? "QvK9Install" : "OtherMaker", "other.sys"));
        ASSERT_TRUE(CreateUsbDevice(instance(n), {hardwareId, kOursCompatible}, inf)) << n;
    }
    bool infCopyExists(int n) { return PathExists(WindowsInfFolderPath() + oemName(n)); }
    // The run's failure bits.
    unsigned install(const std::wstring& hardwareId = L"USB\\VID_1852&PID_7022&MI_01") {
        RecordingShell shell;
        return RunInstaller((hardwareId + L",/S QvK9Install,/D \"" + infPath_ + L"\"").c_str(),
                            shell);
    }
    unsigned uninstall() {
        RecordingShell shell;
        return RunInstaller(L"/U,USB\\VID_1852&PID_7022&MI_01,/S qvk9install", shell);
    }
    bool preinstalled() { return PathExists(WindowsInfFolderPath() + kTestInf); }
    static std::wstring driversFile() {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        return std::wstring(system) + L"\\drivers\\" + Widen(kPlaceholder);
    }

    SavedSearchPath savedPath_;
    std::wstring folder_;
    std::wstring infPath_;
};

TEST_F(DriverStage, InstallRemovesEveryMatchingInterfaceAndOnlyThePackagesInfFiles) {
    makeDevice(1, kOurs, true);
    makeDevice(2, kOurs, false);
    makeDevice(3, kOursOtherInterface, true);
    ASSERT_TRUE(CreateUsbDevice(instance(4), {kWholeDevice}, L""));
    ASSERT_TRUE(CreateUsbDevice(instance(5), {kOurs}, L""));
    install();
    EXPECT_FALSE(DeviceExists(instance(1)));
    EXPECT_FALSE(infCopyExists(1));
    // Another maker's INF stays, even though its device goes.
    EXPECT_FALSE(DeviceExists(instance(2)));
    EXPECT_TRUE(infCopyExists(2));
    // Another interface of the device and the device itself are not ours to remove.
    EXPECT_TRUE(DeviceExists(instance(3)));
    EXPECT_TRUE(infCopyExists(3));
    EXPECT_TRUE(DeviceExists(instance(4)));
    // A device without a driver key goes without an INF.
    EXPECT_FALSE(DeviceExists(instance(5)));
    // The package's INF is pre-installed, its files copied, and the tree enumerated again.
    EXPECT_TRUE(preinstalled());
    EXPECT_TRUE(PathExists(driversFile()));
    EXPECT_EQ(sim::installerRecord()->rootLocates, 1);
    EXPECT_EQ(sim::installerRecord()->reenumerations, 1);
    EXPECT_EQ(sim::installerRecord()->lastReenumerateFlags, 0u);
}

TEST_F(DriverStage, UninstallRemovesOnlyThePackagesDevices) {
    makeDevice(1, kOurs, true);
    makeDevice(2, kOurs, false);
    ASSERT_TRUE(CreateUsbDevice(instance(5), {kOurs}, L""));
    uninstall();
    EXPECT_FALSE(DeviceExists(instance(1)));
    EXPECT_FALSE(infCopyExists(1));
    EXPECT_TRUE(DeviceExists(instance(2)));
    EXPECT_TRUE(infCopyExists(2));
    EXPECT_TRUE(DeviceExists(instance(5)));
    EXPECT_FALSE(preinstalled());
    EXPECT_EQ(sim::installerRecord()->reenumerations, 1);
}

TEST_F(DriverStage, AnIdWithoutInterfaceMatchesEveryInterface) {
    makeDevice(1, kOurs, true);
    makeDevice(3, kOursOtherInterface, true);
    ASSERT_TRUE(CreateUsbDevice(instance(4), {kWholeDevice}, L""));
    install(L"usb\\vid_1852&pid_7022");
    EXPECT_FALSE(DeviceExists(instance(1)));
    EXPECT_FALSE(DeviceExists(instance(3)));
    EXPECT_FALSE(infCopyExists(3));
    EXPECT_TRUE(DeviceExists(instance(4)));
}

TEST_F(DriverStage, MoreMatchesThanTheTableHoldsAreAllRemoved) {
    for (int n = 0; n < 12; ++n)
        makeDevice(n, kOurs, n % 2 == 0);
    install();
    for (int n = 0; n < 12; ++n) {
        EXPECT_FALSE(DeviceExists(instance(n))) << n;
        EXPECT_EQ(infCopyExists(n), n % 2 != 0) << n;
    }
}

// A dozen devices naming one OEM copy of the package's INF: the copy may go only after the last
// of them, or the devices of the later passes no longer read as the package's.
TEST_F(DriverStage, UninstallRemovesEveryDeviceSharingOneInfAndThenTheInf) {
    WriteTextFile(WindowsInfFolderPath() + oemName(0), DriverInfText("QvK9Install", "x.sys"));
    for (int n = 0; n < 12; ++n)
        ASSERT_TRUE(CreateUsbDevice(instance(n), {kOurs, kOursCompatible}, oemName(0))) << n;
    EXPECT_EQ(uninstall(), 0u);
    for (int n = 0; n < 12; ++n)
        EXPECT_FALSE(DeviceExists(instance(n))) << n;
    EXPECT_FALSE(infCopyExists(0));
}

TEST_F(DriverStage, UninstallTakesAwayWhatThePreinstallPutThereAndNothingElse) {
    PackageFolderValue package(folder_);
    EXPECT_EQ(install(), 0u);
    ASSERT_TRUE(preinstalled());
    ASSERT_TRUE(PathExists(driversFile()));
    // No device ever came: nothing names the copy but the install's own record.
    EXPECT_EQ(uninstall(), 0u);
    EXPECT_FALSE(preinstalled());
    EXPECT_FALSE(PathExists(driversFile()));

    // A driver file that was there before the install, and another maker's INF, stay.
    WriteTextFile(driversFile(), "someone else's");
    const std::wstring other = WindowsInfFolderPath() + oemName(9);
    WriteTextFile(other, DriverInfText("OtherMaker", "other.sys"));
    install();
    ASSERT_TRUE(preinstalled());
    // The name of the staged copy taken over by another package by the time of the uninstall.
    WriteTextFile(WindowsInfFolderPath() + kTestInf, DriverInfText("OtherMaker", "other.sys"));
    uninstall();
    EXPECT_TRUE(PathExists(driversFile()));
    EXPECT_TRUE(PathExists(other));
    EXPECT_TRUE(preinstalled());
}

TEST_F(DriverStage, TheInfIsPreinstalledOnXpAndVistaToSevenOnly) {
    for (WindowsVersionCode code : {5, 6, 7, 8, 9, 10, 11, 12}) {
        DeleteFileW((WindowsInfFolderPath() + kTestInf).c_str());
        sim::clearInstallerRecord();
        SimulateWindows(code);
        install();
        EXPECT_EQ(preinstalled(), code == 6 || (code >= 8 && code <= 11)) << code;
        // The stage runs from Windows 2000 to 7 only.
        EXPECT_EQ(sim::installerRecord()->reenumerations, code <= 11 ? 1 : 0) << code;
    }
}

TEST_F(DriverStage, SearchPathGetsOneEntryAndLosesItOnUninstall) {
    const std::wstring original = L"%SystemRoot%\\inf";
    SetSearchPath(original);
    PackageFolderValue package(folder_);
    install();
    install();
    EXPECT_EQ(ReadMachineString(kCurrentVersionKey, kDevicePathValue),
              UpperAscii(folder_) + L"DRIVER;" + original);
    uninstall();
    EXPECT_EQ(ReadMachineString(kCurrentVersionKey, kDevicePathValue), original);
}

TEST_F(DriverStage, ASearchPathThatCannotBeEditedIsReportedAndTheStageGoesOn) {
    // A value that is no text cannot take the entry.
    SetSearchPath(L"binary", REG_BINARY);
    makeDevice(1, kOurs, true);
    EXPECT_EQ(install(), static_cast<unsigned>(kFailedDriverStage));
    EXPECT_FALSE(DeviceExists(instance(1)));
    EXPECT_TRUE(preinstalled());
}

TEST_F(DriverStage, WithoutThePackageFolderInstallPutsDriverFirstAndUninstallLeavesThePath) {
    const std::wstring original = L"%SystemRoot%\\inf";
    SetSearchPath(original);
    install();
    EXPECT_EQ(ReadMachineString(kCurrentVersionKey, kDevicePathValue), L"DRIVER;" + original);
    uninstall();
    EXPECT_EQ(ReadMachineString(kCurrentVersionKey, kDevicePathValue), L"DRIVER;" + original);
    // The stage itself still ran.
    EXPECT_EQ(sim::installerRecord()->reenumerations, 2);
}

} // namespace
