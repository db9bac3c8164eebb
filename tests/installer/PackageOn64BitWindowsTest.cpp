// The package on 64-bit Windows, installed and removed by its setup program as a user does: the
// 64-bit assistant does the job, each driver registers in its own registry view, our 64-bit host
// finds its driver under the native ASIO key and streams through it while the panel shows the
// stream, a 32-bit host beside it (where the machine runs 32-bit programs) gets what a second
// host gets, and the uninstall leaves neither view with anything of ours.
#include "CertificateStores.h"
#include "InstallerMachine.h"

#include "common/PanelCommands.h"
#include "common/WindowsVersion.h"
#include "cpl/ui/Resource.h"
#include "installer/FinishingSteps.h"
#include "installer/InstallerRun.h"
#include "sim/SimDeviceState.h"
#include "sim/SimInstallerRecord.h"
#include "support/DriverProfile.h"
#include "support/HostProcess.h"
#include "support/PanelProcess.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{58527022-702F-47D6-B9F4-97556F3FF061}";
constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{58527022-702F-47D6-B9F4-97556F3FF061}\\InprocServer32";
constexpr wchar_t kAsioKey[] = L"SOFTWARE\\ASIO\\Quenvora-K9 USB Audio ASIO";
constexpr wchar_t kClassId[] = L"{58527022-702F-47D6-B9F4-97556F3FF061}";
constexpr wchar_t kPackageKey[] = L"Software\\Calmora\\Quenvora-K9 USB Audio Software Package";

bool NativeProcessorIs64Bit() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

std::wstring Lower(std::wstring text) {
    CharLowerW(text.data());
    return text;
}

// The 32-bit build of our host, from the 32-bit tree above the 64-bit tests.
std::string Host32Path() {
    return testProgramFolder() + "..\\..\\bin\\QvK9AsioHost.exe";
}

// The setup program's own exit code when the package could not be copied into its folder.
constexpr DWORD kSetupCopyFailed = 258;

// Exit code of our host when the driver cannot be opened or refuses a call.
constexpr DWORD kHostDriverFailure = 1;

DWORD RunHost(const std::string& path, const char* arguments) {
    DWORD code = 99;
    if (!runAndWait("\"" + path + "\" " + arguments, 60000, &code))
        return 98;
    return code;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring windowsFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return windows;
}
// The OEM copy of the package's INF (Wine keeps its own name) and the file its section copies.
std::wstring stagedInf() {
    return windowsFolder() + L"\\inf\\QvK9USB.inf";
}
std::wstring stagedDriver() {
    return windowsFolder() + L"\\system32\\drivers\\CaQvK9.sys";
}

class PackageOn64BitWindows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NativeProcessorIs64Bit())
            GTEST_SKIP() << "a 32-bit system: the package installs as before there";
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        clearDriverProfile();
        std::wstring scratch = ScratchFolder(L"QvK9 Setup 64");
        target_ = scratch.substr(0, scratch.size() - 1);
    }
    void TearDown() override {
        host_.end();
        panel_.stop();
        if (target_.empty())
            return;
        const std::vector<BYTE> certificate = ReadWholeFile(BuiltCertificatePath());
        RemoveFromMachineStore(L"Root", certificate);
        RemoveFromMachineStore(L"TrustedPublisher", certificate);
        WriteProfileStringA("ClmrASIO", nullptr, nullptr);
        clearDriverProfile();
        RemoveFolder(target_ + L"\\");
        sim::resetToDefaults();
        sim::clearInstallerRecord();
    }

    // Setup.cmd of the simulated-machine package with `mode`, into the test's folder.
    DWORD setup(const char* mode) {
        const std::string package = testProgramFolder() + "..\\package-sim\\Setup.cmd";
        std::string target;
        for (wchar_t c : target_)
            target.push_back(static_cast<char>(c));
        // The command interpreter takes the outer pair of quotes away.
        const std::string line =
            "cmd.exe /c \"\"" + package + "\" " + mode + " \"" + target + "\"\"";
        DWORD code = 0;
        if (!runAndWait(line, 180000, &code))
            return static_cast<DWORD>(-1);
        return code;
    }
    std::wstring file(const wchar_t* name) const { return target_ + L"\\" + name; }

    SavedSearchPath searchPath_;
    PanelProcess panel_;
    HostProcess host_;
    std::wstring target_;
};

TEST_F(PackageOn64BitWindows, BothDriversRegisterInTheirOwnViewsAndTheHostStreamsBesideThePanel) {
    ASSERT_FALSE(FileExists(stagedInf()));
    // Where the machine cannot run the 32-bit RegSvr32, the install says that the 32-bit driver's
    // registration could not be done.
    const bool runs32Bit = runs32BitPrograms();
    ASSERT_EQ(setup("install"), runs32Bit ? 0u : static_cast<DWORD>(kFailedRegistration));
    // The INF is pre-installed on XP and on Vista to 7 only.
    OSVERSIONINFOEXA version = {};
    ASSERT_TRUE(ReadVersionRecord(version));
    const bool preinstalls = (version.dwMajorVersion == 5 && version.dwMinorVersion == 1) ||
                             (version.dwMajorVersion == 6 && version.dwMinorVersion <= 1);
    EXPECT_EQ(FileExists(stagedInf()), preinstalls);
    EXPECT_EQ(FileExists(stagedDriver()), preinstalls);
    EXPECT_TRUE(FileExists(file(kDriverDll)));
    EXPECT_TRUE(FileExists(file(kDriverDll64)));

    // The native view: the 64-bit driver, found by 64-bit hosts.
    EXPECT_EQ(ReadMachineString(kServerKey, nullptr, KEY_WOW64_64KEY), Lower(file(kDriverDll64)));
    EXPECT_EQ(ReadMachineString(kAsioKey, L"CLSID", KEY_WOW64_64KEY), kClassId);
    EXPECT_EQ(ReadMachineString(kAsioKey, L"Description", KEY_WOW64_64KEY),
              L"Quenvora-K9 USB Audio ASIO");
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue, KEY_WOW64_64KEY), file(kPanelProgram));
    // The 32-bit view: the 32-bit driver, registered by the 32-bit tool, where this machine can
    // run it; never the 64-bit driver.
    if (runs32Bit) {
        EXPECT_EQ(ReadMachineString(kServerKey, nullptr, KEY_WOW64_32KEY), Lower(file(kDriverDll)));
        EXPECT_EQ(ReadMachineString(kAsioKey, L"CLSID", KEY_WOW64_32KEY), kClassId);
    } else {
        std::printf("This machine cannot run 32-bit programs: the 32-bit driver's registration is "
                    "checked in the registry only, and no 32-bit host runs.\n");
        EXPECT_EQ(ReadMachineString(kServerKey, nullptr, KEY_WOW64_32KEY), L"<missing>");
        EXPECT_FALSE(MachineKeyExists(kAsioKey, KEY_WOW64_32KEY));
    }

    // The panel from the autostart step, the host from the native ASIO key.
    ASSERT_TRUE(panel_.attach(20000));
    DWORD listed = 1;
    ASSERT_TRUE(runAndWait("\"" + asioHostPath() + "\" list", 30000, &listed));
    EXPECT_EQ(listed, 0u) << "the host finds the driver";
    ASSERT_TRUE(host_.start("probe --seconds 8 --frames 256 --rate 48000 --null-window"));
    EXPECT_TRUE(waitText(panel_, IDC_ASIO_STREAM_STATE, "Start", 15000));
    EXPECT_EQ(panel_.text(IDC_ASIO_DRIVER_STATE), "Active");
    const std::string line = panel_.text(IDC_ASIO_STATUS_LINE);
    EXPECT_EQ(line.rfind("2 ch. output, 2 ch. input, 48000 Hz", 0), 0u) << line;
    if (runs32Bit) {
        // One host at a time holds the device, whichever its bitness.
        EXPECT_EQ(RunHost(Host32Path(), "info --null-window"), kHostDriverFailure);
    }
    // Installing again while a host holds the driver: the copy cannot replace it, and the setup
    // says so and stops, before the old driver is registered again as if it were the new one.
    EXPECT_EQ(setup("install"), kSetupCopyFailed);
    EXPECT_TRUE(host_.waitForEnd(60000));
    if (runs32Bit) {
        // The 32-bit driver from the 32-bit view, in the same shared block, rings and device the
        // panel and the 64-bit driver use.
        ASSERT_TRUE(waitText(panel_, IDC_ASIO_DRIVER_STATE, "Non-Active", 10000));
        HostProcess host32;
        ASSERT_TRUE(host32.startProgram(
            Host32Path(), "probe --seconds 3 --frames 512 --rate 44100 --null-window"));
        EXPECT_TRUE(waitText(panel_, IDC_ASIO_STREAM_STATE, "Start", 15000));
        const std::string line32 = panel_.text(IDC_ASIO_STATUS_LINE);
        EXPECT_EQ(line32.rfind("2 ch. output, 2 ch. input, 44100 Hz", 0), 0u) << line32;
        EXPECT_TRUE(host32.waitForEnd(60000));
    }

    ASSERT_EQ(setup("uninstall"), runs32Bit ? 0u : static_cast<DWORD>(kFailedRegistration));
    EXPECT_TRUE(
        waitUntil([] { return FindWindowA(nullptr, kPanelWindowTitle) == nullptr; }, 10000));
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const char* name = view == KEY_WOW64_64KEY ? "native view" : "32-bit view";
        EXPECT_FALSE(MachineKeyExists(kClassKey, view)) << name;
        EXPECT_FALSE(MachineKeyExists(kAsioKey, view)) << name;
        EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue, view), L"<missing>") << name;
        EXPECT_FALSE(MachineKeyExists(kPackageKey, view)) << name;
        EXPECT_EQ(Lower(ReadMachineString(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                          L"DevicePath", view))
                      .find(L"qvk9 setup 64"),
                  std::wstring::npos)
            << name;
    }
    EXPECT_TRUE(waitUntil([&] { return !FileExists(target_); }, 10000));
    // What the pre-install staged in Windows' own folders is gone with the package.
    EXPECT_FALSE(FileExists(stagedInf()));
    EXPECT_FALSE(FileExists(stagedDriver()));
}

} // namespace
