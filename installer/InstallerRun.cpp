#include "InstallerRun.h"

#include "DriverStage.h"
#include "FinishingSteps.h"
#include "PackageFolder.h"
#include "PanelExit.h"

namespace {

constexpr DWORD kPanelExitPauseMs = 500;

void runSteps(InstallerRun& run) {
    if (!run.options.accepted)
        return;
    if (run.options.uninstall) {
        AskPanelsToExit();
        run.shell.pause(kPanelExitPauseMs);
    }
    run.packageFolder = ReadPackageFolder();
    if (!run.options.uninstall && run.options.certificates && run.hasPackageFolder())
        InstallCertificates(run);
    if (run.driverStageGate)
        RunDriverStage(run);
    if (run.options.autostart)
        UpdateAutostart(run);
    if (run.options.asioRegistration)
        UpdateAsioRegistration(run);
    if (run.options.restart)
        RequestRestart();
    if (run.options.uninstall && run.hasPackageFolder())
        CleanDriverFolder(run);
    if (!run.options.uninstall && run.options.certificates && run.hasPackageFolder())
        RemoveCertificateFiles(run);
}

} // namespace

void RunInstaller(const wchar_t* commandLine, ShellSeam& shell) {
    CPlatformInfo platform;
    if (!ReadSystemInfo(platform))
        return;
    InstallerRun run(shell);
    run.versionCode = platform.versionCode;
    run.nativeX86 = platform.x86;
    run.options = ParseInstallerOptions(commandLine);
    run.driverStageGate = DriverStageGateOpen(run.options, run.versionCode, FileMatchExists);
    runSteps(run);
}
