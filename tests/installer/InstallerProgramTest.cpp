// The installer program (its simulated-machine build) run whole, as the package's setup program
// starts it: the shell, the certificate tool, RegSvr32 and the panel are real here.
#include "CertificateStores.h"
#include "InstallerMachine.h"

#include "asio/DriverIdentity.h"
#include "common/PanelCommands.h"
#include "common/WindowsVersion.h"
#include "installer/FinishingSteps.h"
#include "installer/InstallerRun.h"
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

// Runs the installer with `arguments` in the current folder `directory` (null: the test's) and
// waits for it; its exit code (its failure bits), or -1 when it hung.
DWORD runInstallerProgram(const std::string& arguments, const char* directory = nullptr) {
    DWORD code = 0;
    const std::string line =
        "\"" + testProgramFolder() + "..\\bin\\sim\\" + kInstallerProgram + "\" " + arguments;
    if (!runAndWait(line, 60000, &code, directory))
        return static_cast<DWORD>(-1);
    return code;
}

std::string narrow(const std::wstring& text) {
    std::string ansi;
    for (wchar_t c : text)
        ansi.push_back(static_cast<char>(c));
    return ansi;
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
    // Vista and later start the elevated panel at log-on from a task, not from the Run value.
    OSVERSIONINFOEXA version = {};
    ASSERT_TRUE(ReadVersionRecord(version));
    const bool hasTasks = version.dwMajorVersion >= 6;
    EXPECT_EQ(StoredLogonTask() != L"<missing>", hasTasks);
    ASSERT_TRUE(panel.waitForReady(10000));
    EXPECT_NE(FindWindowA(nullptr, kPanelWindowTitle), nullptr);

    EXPECT_EQ(runInstallerProgram("/U,/A"), 0u);
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), L"<missing>");
    EXPECT_EQ(StoredLogonTask(), L"<missing>");
    EXPECT_TRUE(waitUntil([] { return FindWindowA(nullptr, kPanelWindowTitle) == nullptr; }, 5000));
}

// The 32-bit simulated driver the 64-bit package carries beside its own.
std::string driver32Path() {
    return testProgramFolder() + "..\\package-sim\\QvK9ASIO.dll";
}

// A RegSvr32.exe in the folder the setup was started from is not the system's: it must not run.
// The folder's name has percent signs in it, which no shell may expand.
TEST_F(InstallerProgram, RegistrationLeavesTheDriversLayoutAndUnregistrationTakesItAway) {
    RemoveFolder(folder_);
    folder_ = ScratchFolder(L"QvK9 %OS% Package");
    const std::wstring driverFile = Widen(kDriverModuleName);
    copyIntoPackage(simDriverPath(), driverFile.c_str());
    DWORD bothRegistered = 0;
#ifdef _WIN64
    // 64-bit Windows registers both drivers; without the 32-bit one the run says so, as it does
    // on a machine that cannot run the 32-bit registration tool.
    PackageFolderValue package(folder_);
    EXPECT_EQ(runInstallerProgram("/o"), static_cast<DWORD>(kFailedRegistration));
    copyIntoPackage(driver32Path(), kDriverDll);
    if (!runs32BitPrograms())
        bothRegistered = kFailedRegistration;
#else
    PackageFolderValue package(folder_);
#endif
    const std::wstring planted = ScratchFolder(L"QvK9 Setup Start");
    // Any program that ends at once stands in for a planted tool.
    ASSERT_TRUE(CopyFileW(Widen(testProgramFolder() + "..\\bin\\CertMgr.exe").c_str(),
                          (planted + L"RegSvr32.exe").c_str(), FALSE));
    EXPECT_EQ(runInstallerProgram("/o", narrow(planted).c_str()), bothRegistered);
    EXPECT_EQ(classesRootString(kClsidKey), L"Quenvora-K9 USB Audio ASIO");
    EXPECT_EQ(classesRootString(std::wstring(kClsidKey) + L"\\InprocServer32"),
              lower(folder_ + driverFile));
    EXPECT_EQ(ReadMachineString(kAsioKey, L"CLSID"), L"{58527022-702F-47D6-B9F4-97556F3FF061}");
    EXPECT_EQ(ReadMachineString(kAsioKey, L"Description"), L"Quenvora-K9 USB Audio ASIO");

    EXPECT_EQ(runInstallerProgram("/U /O", narrow(planted).c_str()), bothRegistered);
    EXPECT_EQ(classesRootString(kClsidKey), L"<missing>");
    EXPECT_FALSE(MachineKeyExists(kAsioKey));
    RemoveFolder(planted);
}

// A file of the package folder that another program holds open, sharing it only as `share`
// allows, with `content` in it.
UniqueHandle holdFile(const std::wstring& path, const char* content, DWORD share) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), content, static_cast<DWORD>(lstrlenA(content)), &written, nullptr);
    return file;
}

// The certificate tool cannot be written or started (another program holds the file): the shell
// says so to the run, not in a box that waits for a click; the stores do not get the
// certificate and the tool's file stays, and the run says both.
TEST_F(InstallerProgram, ACertificateToolThatCannotStartIsReportedWithoutABox) {
    const std::vector<BYTE> certificate = ReadWholeFile(BuiltCertificatePath());
    RemoveFromMachineStore(L"Root", certificate);
    RemoveFromMachineStore(L"TrustedPublisher", certificate);
    UniqueHandle held = holdFile(folder_ + L"CertMgr.exe", "", 0);
    ASSERT_TRUE(held);
    PackageFolderValue package(folder_);
    EXPECT_EQ(runInstallerProgram("/C"), static_cast<DWORD>(kFailedCertificates | kFailedCleanUp));
    EXPECT_FALSE(MachineStoreHolds(L"Root", certificate));
}

// An older certificate file with garbage in it, which cannot be overwritten: the tool runs on it
// and adds nothing, and the run says so.
TEST_F(InstallerProgram, AGarbageCertificateFileIsReported) {
    const std::vector<BYTE> certificate = ReadWholeFile(BuiltCertificatePath());
    RemoveFromMachineStore(L"Root", certificate);
    RemoveFromMachineStore(L"TrustedPublisher", certificate);
    UniqueHandle held = holdFile(folder_ + L"Calmora.cer", "not a certificate", FILE_SHARE_READ);
    ASSERT_TRUE(held);
    PackageFolderValue package(folder_);
    EXPECT_EQ(runInstallerProgram("/C"), static_cast<DWORD>(kFailedCertificates | kFailedCleanUp));
    EXPECT_FALSE(MachineStoreHolds(L"Root", certificate));
    EXPECT_FALSE(MachineStoreHolds(L"TrustedPublisher", certificate));
}

TEST_F(InstallerProgram, RestartIsOnlyAskedForAndTheProgramAlwaysReturns) {
    EXPECT_EQ(runInstallerProgram("/R"), 0u);
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 1);
    EXPECT_EQ(sim::installerRecord()->lastTimeoutSeconds, 20u);
    // Garbage, nothing, and a line longer than the installer reads: it ends, quietly.
    EXPECT_EQ(runInstallerProgram(""), 0u);
    EXPECT_EQ(runInstallerProgram("\"\"\",,/S/D/U,USB"), 0u);
    // A line too long for the installer's buffer: nothing is done, and the run says so.
    EXPECT_EQ(runInstallerProgram("/R," + std::string(700, 'x')),
              static_cast<DWORD>(kRunIncomplete));
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 1);
}

} // namespace
