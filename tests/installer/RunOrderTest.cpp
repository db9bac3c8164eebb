// One run of the installer in-process, with the shell recorded instead of started: which steps
// run for which switches, in which order, and how tools are started on each Windows version.
#include "InstallerMachine.h"
#include "RecordingShell.h"

#include "common/PanelCommands.h"
#include "installer/FinishingSteps.h"
#include "installer/InstallerRun.h"
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

TEST_F(RunOrder, UninstallAloneEndsThePanelAndCleansTheDriverFolder) {
    PackageFolderValue package(folder_);
    SimulateWindows(10);
    StandInPanel panel;
    ASSERT_TRUE(panel.start());
    RecordingShell shell;
    RunInstaller(L"/U", shell);
    EXPECT_TRUE(waitUntil(panelWindowGone, 5000));
    ASSERT_FALSE(shell.pauses.empty());
    EXPECT_EQ(shell.pauses.front(), 500u);
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].file, L"CMD.exe");
    EXPECT_EQ(shell.calls[0].parameters, L" /C del \"" + folder_ + L"Driver\\*.pnf\"");
    EXPECT_EQ(shell.calls[1].parameters, L" /C del \"" + folder_ + L"Driver\\Inf*.*\"");
    for (size_t i = 0; i < shell.calls.size(); ++i) {
        EXPECT_TRUE(shell.calls[i].extended);
        EXPECT_EQ(shell.calls[i].verb, L"runas");
        EXPECT_EQ(shell.calls[i].show, SW_SHOWNORMAL);
        EXPECT_EQ(shell.owners[i], nullptr);
        EXPECT_EQ(shell.masks[i], 0u);
        EXPECT_EQ(shell.directories[i], L"<null>");
    }
    EXPECT_TRUE(shell.commands.empty());
    EXPECT_EQ(sim::installerRecord()->reenumerations, 0);
}

TEST_F(RunOrder, WithoutThePackageFolderOnlyFolderFreeStepsRun) {
    SimulateWindows(6);
    RecordingShell shell;
    RunInstaller(L"/U,/C,/O,/A", shell);
    RunInstaller(L"/C,/O,/A", shell);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.commands.empty());
}

TEST_F(RunOrder, CertificateToolAndDeletionsUseTheVersionsVerb) {
    PackageFolderValue package(folder_);
    for (WindowsVersionCode code : {5, 6, 7, 8, 9, 10, 11, 12}) {
        SimulateWindows(code);
        RecordingShell shell;
        RunInstaller(L"/c", shell);
        const bool elevated = code >= 8 && code <= 11;
        ASSERT_EQ(shell.calls.size(), 4u) << code;
        const std::wstring certificate = L"\"" + folder_ + L"Calmora.cer\"";
        EXPECT_EQ(shell.calls[0].file, folder_ + L"CertMgr.exe");
        EXPECT_EQ(shell.calls[0].parameters, L"-add " + certificate + L" -s -r localmachine root");
        EXPECT_EQ(shell.calls[1].file, folder_ + L"CertMgr.exe");
        EXPECT_EQ(shell.calls[1].parameters,
                  L"-add " + certificate + L" -s -r localmachine trustedpublisher");
        EXPECT_EQ(shell.calls[2].file, L"CMD.exe");
        EXPECT_EQ(shell.calls[2].parameters, L" /C del \"" + folder_ + L"CertMgr.exe\"");
        EXPECT_EQ(shell.calls[3].parameters, L" /C del " + certificate);
        for (const ShellCall& call : shell.calls) {
            EXPECT_EQ(call.extended, elevated) << code;
            EXPECT_EQ(call.verb, elevated ? L"runas" : L"open") << code;
        }
        // Two seconds behind each tool run and ahead of the deletions.
        EXPECT_EQ(shell.pauses, (std::vector<DWORD>{2000, 2000, 2000})) << code;
    }
    // Uninstalling never runs the certificate steps.
    RecordingShell shell;
    RunInstaller(L"/C,/U", shell);
    for (const ShellCall& call : shell.calls)
        EXPECT_EQ(call.file, L"CMD.exe");
}

std::string ansiText(const std::wstring& text) {
    std::string ansi;
    for (wchar_t c : text)
        ansi.push_back(static_cast<char>(c));
    return ansi;
}

TEST_F(RunOrder, RegistrationRunsRegSvr32OnTheDriverInThePackage) {
    PackageFolderValue package(folder_);
    SimulateWindows(10); // on a 32-bit processor
    RecordingShell shell;
    RunInstaller(L"/O", shell);
    RunInstaller(L"/o,/u", shell);
    const std::string ansiFolder = ansiText(folder_);
    ASSERT_EQ(shell.commands.size(), 2u);
    EXPECT_EQ(shell.commands[0], "RegSvr32.exe \"" + ansiFolder + "QvK9ASIO.dll\"");
    EXPECT_EQ(shell.commands[1], "RegSvr32.exe /u \"" + ansiFolder + "QvK9ASIO.dll\"");
}

// On 64-bit Windows each driver goes through the tool of its own bitness, the 64-bit one first;
// a failing tool does not keep the other registration from running.
TEST_F(RunOrder, RegistrationOn64BitWindowsRunsEachDriversOwnTool) {
    PackageFolderValue package(folder_);
    SimulateWindows(10);
    sim::state()->version.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string wow64Tool = ansiText(windows) + "\\SysWOW64\\RegSvr32.exe";
    const std::string ansiFolder = ansiText(folder_);
    RecordingShell shell;
    shell.commandResult = 3;
    RunInstaller(L"/O", shell);
    RunInstaller(L"/U,/O", shell);
    ASSERT_EQ(shell.commands.size(), 4u);
    EXPECT_EQ(shell.commands[0], "RegSvr32.exe \"" + ansiFolder + "QvK9ASIO64.dll\"");
    // Quoted twice over: the command interpreter takes the outer pair away.
    EXPECT_EQ(shell.commands[1], "\"\"" + wow64Tool + "\" \"" + ansiFolder + "QvK9ASIO.dll\"\"");
    EXPECT_EQ(shell.commands[2], "RegSvr32.exe /u \"" + ansiFolder + "QvK9ASIO64.dll\"");
    EXPECT_EQ(shell.commands[3], "\"\"" + wow64Tool + "\" /u \"" + ansiFolder + "QvK9ASIO.dll\"\"");
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
        RunInstaller(line, shell);
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
    RunInstaller(L"/R", shell);
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
    RunInstaller(L"/U,/R,/A,/O", shell);
    v.active = 0;
    RunInstaller((L"/U,/R,/A,/O," + std::wstring(600, L'x')).c_str(), shell);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.commands.empty());
    EXPECT_TRUE(shell.pauses.empty());
    EXPECT_EQ(sim::installerRecord()->shutdownRequests, 0);
    EXPECT_FALSE(panelWindowGone());
}

TEST_F(RunOrder, APackageFolderValueTooLongToReadCountsAsMissing) {
    PackageFolderValue package(L"C:\\" + std::wstring(600, L'p') + L"\\");
    RecordingShell shell;
    RunInstaller(L"/U,/O", shell);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(shell.commands.empty());
}

} // namespace
