// One run of the installer in-process, with the shell recorded instead of started: which steps
// run for which switches, in which order, and how tools are started on each Windows version.
#include "InstallerMachine.h"
#include "RecordingShell.h"

#include "common/PanelCommands.h"
#include "installer/FinishingSteps.h"
#include "installer/InstallerRun.h"
#include "installer/PackageFolder.h"
#include "sim/SimDeviceState.h"
#include "sim/SimInstallerRecord.h"
#include "support/StandInPanel.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

namespace {

class RunOrder : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        folder_ = ScratchFolder(L"QvK9RunOrder");
    }
    void TearDown() override {
        sim::resetToDefaults();
        sim::clearInstallerRecord();
        RemoveFolder(folder_);
    }
    std::wstring folder_;
};

bool panelWindowGone() {
    return FindWindowA(nullptr, kPanelWindowTitle) == nullptr;
}

void writeFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), "x", 1, &written, nullptr);
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder name with percent signs in it reaches no shell that could expand them.
TEST_F(RunOrder, UninstallAloneEndsThePanelAndCleansTheDriverFolder) {
    const std::wstring folder = ScratchFolder(L"QvK9 %OS% Package");
    const std::wstring driver = folder + L"Driver\\";
    CreateDirectoryW(driver.c_str(), nullptr);
    for (const wchar_t* name : {L"QvK9USB.pnf", L"Infcache.1", L"QvK9USB.inf", L"CaQvK9.sys"})
        writeFile(driver + name);
    PackageFolderValue package(folder);
    SimulateWindows(10);
    StandInPanel panel;
    ASSERT_TRUE(panel.start());
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/U", shell), 0u);
    EXPECT_TRUE(waitUntil(panelWindowGone, 5000));
    ASSERT_FALSE(shell.pauses.empty());
    EXPECT_EQ(shell.pauses.front(), 500u);
    EXPECT_FALSE(fileExists(driver + L"QvK9USB.pnf"));
    EXPECT_FALSE(fileExists(driver + L"Infcache.1"));
    EXPECT_TRUE(fileExists(driver + L"QvK9USB.inf"));
    EXPECT_TRUE(fileExists(driver + L"CaQvK9.sys"));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.programs.empty());
    EXPECT_EQ(sim::installerRecord()->reenumerations, 0);

    // A file that will not go is reported.
    writeFile(driver + L"Stuck.pnf");
    SetFileAttributesW((driver + L"Stuck.pnf").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunInstaller(L"/U", shell), static_cast<unsigned>(kFailedCleanUp));
    SetFileAttributesW((driver + L"Stuck.pnf").c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFolder(folder);
}

TEST_F(RunOrder, WithoutThePackageFolderOnlyFolderFreeStepsRunAndTheRunSaysSo) {
    SimulateWindows(6);
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/U,/C,/O,/A", shell), static_cast<unsigned>(kNoPackageFolder));
    EXPECT_EQ(RunInstaller(L"/C,/O,/A", shell), static_cast<unsigned>(kNoPackageFolder));
    // Uninstalling the autostart entry needs no folder.
    EXPECT_EQ(RunInstaller(L"/U,/A", shell), 0u);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.programs.empty());
}

// What the setup program may leave in the value: without its backslash, of the expandable type,
// or not a full path at all (which would make every step depend on the current folder).
TEST_F(RunOrder, ThePackageFolderValueIsTakenAsAFolder) {
    SimulateWindows(10);
    const std::wstring bare = folder_.substr(0, folder_.size() - 1);
    struct Case {
        std::wstring value;
        DWORD type;
        std::wstring panel; // the Run value the autostart step writes, or "<missing>"
    };
    wchar_t temp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    const std::wstring tempText(temp);
    ASSERT_EQ(folder_.rfind(tempText, 0), 0u) << "the scratch folder lies in TEMP";
    const Case cases[] = {
        {bare, REG_SZ, folder_ + L"QvK9CPL.exe"},
        {L"%TEMP%" + folder_.substr(tempText.size()), REG_EXPAND_SZ, folder_ + L"QvK9CPL.exe"},
        {L"Relative\\", REG_SZ, L"<missing>"},
    };
    for (const Case& c : cases) {
        PackageFolderValue package(folder_);
        WriteMachineString(kPackageKey, kPackageFolderValue, c.value, c.type);
        RecordingShell shell;
        const unsigned failures = RunInstaller(L"/A", shell);
        EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), c.panel) << c.value;
        EXPECT_EQ(failures, c.panel == L"<missing>" ? static_cast<unsigned>(kNoPackageFolder) : 0u)
            << c.value;
        DeleteMachineValue(kRunKey, kAutostartValue);
    }
}

TEST_F(RunOrder, CertificateToolRunsUseTheVersionsVerbAndNeverTheShellsBoxes) {
    PackageFolderValue package(folder_);
    for (WindowsVersionCode code : {5, 6, 7, 8, 9, 10, 11, 12}) {
        SimulateWindows(code);
        RecordingShell shell;
        // This program carries no certificate: the stores cannot hold it, and the run says so.
        EXPECT_EQ(RunInstaller(L"/c", shell), static_cast<unsigned>(kFailedCertificates)) << code;
        const bool elevated = code >= 8 && code <= 11;
        ASSERT_EQ(shell.calls.size(), 2u) << code;
        const std::wstring certificate = L"\"" + folder_ + L"Calmora.cer\"";
        EXPECT_EQ(shell.calls[0].file, folder_ + L"CertMgr.exe");
        EXPECT_EQ(shell.calls[0].parameters, L"-add " + certificate + L" -s -r localmachine root");
        EXPECT_EQ(shell.calls[1].file, folder_ + L"CertMgr.exe");
        EXPECT_EQ(shell.calls[1].parameters,
                  L"-add " + certificate + L" -s -r localmachine trustedpublisher");
        for (size_t i = 0; i < shell.calls.size(); ++i) {
            EXPECT_EQ(shell.calls[i].verb, elevated ? L"runas" : L"open") << code;
            EXPECT_EQ(shell.calls[i].show, SW_SHOWNORMAL);
            EXPECT_EQ(shell.owners[i], nullptr);
            EXPECT_EQ(shell.directories[i], L"<null>");
            EXPECT_NE(shell.masks[i] & SEE_MASK_FLAG_NO_UI, 0u) << code;
        }
        // Two seconds behind each tool run and ahead of the deletions.
        EXPECT_EQ(shell.pauses, (std::vector<DWORD>{2000, 2000, 2000})) << code;
    }
    // Uninstalling never runs the certificate steps.
    RecordingShell shell;
    RunInstaller(L"/C,/U", shell);
    EXPECT_TRUE(shell.calls.empty());
}

std::wstring systemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

// The system's own RegSvr32 by its full path, silent, in its own folder, without a shell.
TEST_F(RunOrder, RegistrationRunsTheSystemsRegSvr32OnTheDriverInThePackage) {
    PackageFolderValue package(folder_);
    SimulateWindows(10); // on a 32-bit processor
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/O", shell), 0u);
    EXPECT_EQ(RunInstaller(L"/o,/u", shell), 0u);
    const std::wstring tool = systemFolder() + L"\\RegSvr32.exe";
    ASSERT_EQ(shell.programs.size(), 2u);
    EXPECT_EQ(shell.programs[0].program, tool);
    EXPECT_EQ(shell.programs[0].commandLine,
              L"\"" + tool + L"\" /s \"" + folder_ + L"QvK9ASIO.dll\"");
    EXPECT_EQ(shell.programs[0].directory, systemFolder() + L"\\");
    EXPECT_EQ(shell.programs[1].commandLine,
              L"\"" + tool + L"\" /s /u \"" + folder_ + L"QvK9ASIO.dll\"");
}

// On 64-bit Windows each driver goes through the tool of its own bitness, the 64-bit one first;
// a failing tool does not keep the other registration from running.
TEST_F(RunOrder, RegistrationOn64BitWindowsRunsEachDriversOwnTool) {
    PackageFolderValue package(folder_);
    SimulateWindows(10);
    sim::state()->version.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring wow64Tool = std::wstring(windows) + L"\\SysWOW64\\RegSvr32.exe";
    const std::wstring nativeTool = systemFolder() + L"\\RegSvr32.exe";
    RecordingShell shell;
    shell.programExitCode = 3;
    EXPECT_EQ(RunInstaller(L"/O", shell), static_cast<unsigned>(kFailedRegistration));
    EXPECT_EQ(RunInstaller(L"/U,/O", shell), static_cast<unsigned>(kFailedRegistration));
    ASSERT_EQ(shell.programs.size(), 4u);
    EXPECT_EQ(shell.programs[0].commandLine,
              L"\"" + nativeTool + L"\" /s \"" + folder_ + L"QvK9ASIO64.dll\"");
    EXPECT_EQ(shell.programs[1].program, wow64Tool);
    EXPECT_EQ(shell.programs[1].commandLine,
              L"\"" + wow64Tool + L"\" /s \"" + folder_ + L"QvK9ASIO.dll\"");
    EXPECT_EQ(shell.programs[1].directory, std::wstring(windows) + L"\\SysWOW64\\");
    EXPECT_EQ(shell.programs[2].commandLine,
              L"\"" + nativeTool + L"\" /s /u \"" + folder_ + L"QvK9ASIO64.dll\"");
    EXPECT_EQ(shell.programs[3].commandLine,
              L"\"" + wow64Tool + L"\" /s /u \"" + folder_ + L"QvK9ASIO.dll\"");
}

// A tool that cannot start or does not end is a failed registration, never a hung run.
TEST_F(RunOrder, ARegistrationToolThatFailsOrHangsIsReported) {
    PackageFolderValue package(folder_);
    SimulateWindows(10);
    for (ToolOutcome outcome : {ToolOutcome::kNotStarted, ToolOutcome::kTimedOut}) {
        sim::clearInstallerRecord();
        RecordingShell shell;
        shell.programOutcome = outcome;
        EXPECT_EQ(RunInstaller(L"/O,/R", shell), static_cast<unsigned>(kFailedRegistration));
        // The steps behind it still run.
        EXPECT_EQ(sim::installerRecord()->shutdownRequests, 1);
    }
}

// The driver registers its path through the ANSI code page: from a folder it cannot name there
// it is not registered at all, and the run says so; the other steps take the folder as it is.
TEST_F(RunOrder, AFolderOutsideTheAnsiCodePageIsNotRegisteredButUsedElsewhere) {
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "every name has its place in this system's ANSI code page";
    const std::wstring folder = ScratchFolder(L"QvK9 \u0416\u4E2D Package");
    PackageFolderValue package(folder);
    SimulateWindows(10);
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/O,/A,/C", shell),
              static_cast<unsigned>(kFailedRegistration | kFailedCertificates));
    EXPECT_TRUE(shell.programs.empty());
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), folder + L"QvK9CPL.exe");
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[1].file, folder + L"CertMgr.exe");
    DeleteMachineValue(kRunKey, kAutostartValue);
    RemoveFolder(folder);
}

TEST_F(RunOrder, AutostartWritesTheRunValueAndStartsThePanelWithOpen) {
    PackageFolderValue package(folder_);
    SimulateWindows(8);
    RecordingShell shell;
    RunInstaller(L"/A", shell);
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), folder_ + L"QvK9CPL.exe");
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_FALSE(shell.calls[0].extended);
    EXPECT_EQ(shell.calls[0].verb, L"open");
    EXPECT_EQ(shell.calls[0].file, folder_ + L"QvK9CPL.exe");
    EXPECT_EQ(shell.calls[0].parameters, L"<null>");

    StandInPanel panel;
    ASSERT_TRUE(panel.start());
    RecordingShell uninstall;
    RunInstaller(L"/A/U", uninstall);
    EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), L"<missing>");
    EXPECT_TRUE(waitUntil(panelWindowGone, 5000));
}

TEST_F(RunOrder, RestartAsksThroughThePortInEitherMode) {
    for (const wchar_t* line : {L"/R", L"/R,/U"}) {
        sim::clearInstallerRecord();
        RecordingShell shell;
        EXPECT_EQ(RunInstaller(line, shell), 0u);
        const sim::SimInstallerRecord* r = sim::installerRecord();
        EXPECT_EQ(r->shutdownRequests, 1);
        EXPECT_EQ(std::wstring(r->lastNotice), kRestartNotice);
        EXPECT_EQ(r->lastTimeoutSeconds, 20u);
        EXPECT_EQ(r->lastForceAppsClosed, 0);
        EXPECT_EQ(r->lastReboot, 1);
        EXPECT_EQ(r->privilegeEnabledAtRequest, 1);
        // Enabled for the request and disabled again behind it.
        EXPECT_EQ(r->privilegeAdjustments, 2);
        EXPECT_EQ(r->shutdownPrivilegeEnabled, 0);
    }
    sim::clearInstallerRecord();
    sim::installerRecord()->shutdownPrivilegeMissing = 1;
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/R", shell), static_cast<unsigned>(kFailedRestart));
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 0);
}

TEST_F(RunOrder, AnUnreadableVersionOrAnOverlongLineEndsTheRunAtOnce) {
    PackageFolderValue package(folder_);
    StandInPanel panel;
    ASSERT_TRUE(panel.start());
    sim::SimVersion& v = sim::state()->version;
    v.failBasic = v.failExtended = 1;
    v.active = 1;
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/U,/R,/A,/O", shell), static_cast<unsigned>(kRunIncomplete));
    v.active = 0;
    EXPECT_EQ(RunInstaller((L"/U,/R,/A,/O," + std::wstring(600, L'x')).c_str(), shell),
              static_cast<unsigned>(kRunIncomplete));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.programs.empty());
    EXPECT_TRUE(shell.pauses.empty());
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 0);
    EXPECT_FALSE(panelWindowGone());
}

TEST_F(RunOrder, APackageFolderValueTooLongToReadCountsAsMissing) {
    PackageFolderValue package(L"C:\\" + std::wstring(600, L'p') + L"\\");
    RecordingShell shell;
    EXPECT_EQ(RunInstaller(L"/U,/O", shell), static_cast<unsigned>(kNoPackageFolder));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.programs.empty());
}

} // namespace
