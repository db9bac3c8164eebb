// The installer program (its simulated-machine build) run whole, as the package's setup program
// starts it: the shell, the certificate tool, RegSvr32 and the panel are real here.
#include "CertificateStores.h"
#include "InstallerMachine.h"

#include "asio/DriverIdentity.h"
#include "common/PanelCommands.h"
#include "installer/FinishingSteps.h"
#include "sim/SimDeviceState.h"
#include "sim/SimInstallerRecord.h"
#include "support/StandInPanel.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kClsidKey[] = L"CLSID\\{58527022-702F-47D6-B9F4-97556F3FF061}";
constexpr wchar_t kAsioKey[] = L"SOFTWARE\\ASIO\\Quenvora-K9 USB Audio ASIO";

#ifdef _WIN64
constexpr char kInstallerProgram[] = "QvK9InstAsst64.exe";
#else
constexpr char kInstallerProgram[] = "QvK9InstAsst.exe";
#endif

// Runs the installer with `arguments` and waits for it; its exit code, or -1 when it hung.
DWORD runInstallerProgram(const std::string& arguments) {
    DWORD code = 0;
    const std::string line =
        "\"" + testProgramFolder() + "..\\bin\\sim\\" + kInstallerProgram + "\" " + arguments;
    if (!runAndWait(line, 60000, &code))
        return static_cast<DWORD>(-1);
    return code;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring classesRootString(const std::wstring& key) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    const LONG status =
        RegQueryValueExW(raw, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(raw);
    return status == ERROR_SUCCESS ? data : L"<missing>";
}

std::wstring lower(std::wstring text) {
    CharLowerW(text.data());
    return text;
}

class InstallerProgram : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        folder_ = ScratchFolder(L"QvK9 Package");
    }
    void TearDown() override {
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        RemoveFolder(folder_);
    }
    void copyIntoPackage(const std::string& from, const wchar_t* name) {
        ASSERT_TRUE(CopyFileW(Widen(from).c_str(), (folder_ + name).c_str(), FALSE));
    }
    std::wstring folder_;
};

TEST_F(InstallerProgram, CertificatesReachBothMachineStoresAndTheFilesGoAgain) {
    const std::vector<BYTE> certificate = ReadWholeFile(BuiltCertificatePath());
    ASSERT_EQ(certificate.size(), 494u);
    RemoveFromMachineStore(L"Root", certificate);
    RemoveFromMachineStore(L"TrustedPublisher", certificate);
    PackageFolderValue package(folder_);

    EXPECT_EQ(runInstallerProgram("/C"), 0u);
    EXPECT_TRUE(MachineStoreHolds(L"Root", certificate));
    EXPECT_TRUE(MachineStoreHolds(L"TrustedPublisher", certificate));
    // The deletions run behind the installer's back; give them a moment.
    EXPECT_TRUE(waitUntil(
        [&] {
            return !fileExists(folder_ + L"CertMgr.exe") && !fileExists(folder_ + L"Calmora.cer");
        },
        10000));

    RemoveFromMachineStore(L"Root", certificate);
    RemoveFromMachineStore(L"TrustedPublisher", certificate);
}

TEST_F(InstallerProgram, AutostartStartsThePanelAndUninstallEndsIt) {
    copyIntoPackage(testProgramFolder() + "PanelStandIn.exe", L"QvK9CPL.exe");
    PackageFolderValue package(folder_);
    StandInPanel panel; // owns the stand-in's events, so it sees the installer's start
    EXPECT_EQ(runInstallerProgram("/A"), 0u);
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), folder_ + L"QvK9CPL.exe");
    ASSERT_TRUE(panel.waitForReady(10000));
    EXPECT_NE(FindWindowA(nullptr, kPanelWindowTitle), nullptr);

    EXPECT_EQ(runInstallerProgram("/U,/A"), 0u);
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), L"<missing>");
    EXPECT_TRUE(waitUntil([] { return FindWindowA(nullptr, kPanelWindowTitle) == nullptr; }, 5000));
}

TEST_F(InstallerProgram, RegistrationLeavesTheDriversLayoutAndUnregistrationTakesItAway) {
    const std::wstring driverFile = Widen(kDriverModuleName);
    copyIntoPackage(simDriverPath(), driverFile.c_str());
    PackageFolderValue package(folder_);
    EXPECT_EQ(runInstallerProgram("/o"), 0u);
    EXPECT_EQ(classesRootString(kClsidKey), L"Quenvora-K9 USB Audio ASIO");
    EXPECT_EQ(classesRootString(std::wstring(kClsidKey) + L"\\InprocServer32"),
              lower(folder_ + driverFile));
    EXPECT_EQ(ReadMachineString(kAsioKey, L"CLSID"), L"{58527022-702F-47D6-B9F4-97556F3FF061}");
    EXPECT_EQ(ReadMachineString(kAsioKey, L"Description"), L"Quenvora-K9 USB Audio ASIO");

    EXPECT_EQ(runInstallerProgram("/U /O"), 0u);
    EXPECT_EQ(classesRootString(kClsidKey), L"<missing>");
    EXPECT_FALSE(MachineKeyExists(kAsioKey));
}

TEST_F(InstallerProgram, RestartIsOnlyAskedForAndTheProgramAlwaysReturns) {
    EXPECT_EQ(runInstallerProgram("/R"), 0u);
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 1);
    EXPECT_EQ(sim::installerRecord()->lastTimeoutSeconds, 20u);
    // Garbage, nothing, and a line longer than the installer reads: it ends, quietly.
    EXPECT_EQ(runInstallerProgram(""), 0u);
    EXPECT_EQ(runInstallerProgram("\"\"\",,/S/D/U,USB"), 0u);
    EXPECT_EQ(runInstallerProgram("/R," + std::string(700, 'x')), 0u);
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 1);
}

} // namespace
