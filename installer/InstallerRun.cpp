#include "InstallerRun.h"

#include "CleanUp.h"
#include "DriverStage.h"
#include "FinishingSteps.h"
#include "PackageFolder.h"
#include "PanelExit.h"

namespace {

constexpr DWORD kPanelExitPauseMs = 500;

// Whether the command line asks for a step that cannot be done without the package folder.
bool asksForPackageFolder(const InstallerOptions& options) {
    return options.asioRegistration ||
           (!options.uninstall && (options.certificates || options.autostart));
}

void runSteps(InstallerRun& run) {
    if (run.options.uninstall) {
        AskPanelsToExit();
        run.shell.pause(kPanelExitPauseMs);
    }
    run.packageFolder = ReadPackageFolder();
    if (!run.hasPackageFolder() && asksForPackageFolder(run.options))
        run.fail(kNoPackageFolder);
    if (!run.options.uninstall && run.options.certificates && run.hasPackageFolder())
        InstallCertificates(run);
    if (run.driverStageGate && !RunDriverStage(run))
        run.fail(kFailedDriverStage);
    if (run.options.autostart)
        UpdateAutostart(run);
    if (run.options.asioRegistration)
        UpdateAsioRegistration(run);
    if (run.options.restart && !RequestRestart())
        run.fail(kFailedRestart);
    if (run.options.uninstall && run.hasPackageFolder())
        CleanDriverFolder(run);
    if (!run.options.uninstall && run.options.certificates && run.hasPackageFolder())
        RemoveCertificateFiles(run);
}

} // namespace

unsigned RunInstaller(const wchar_t* commandLine, ShellSeam& shell) {
    CPlatformInfo platform;
    if (!ReadSystemInfo(platform))
        return kRunIncomplete;
    InstallerRun run(shell);
    run.versionCode = platform.versionCode;
    run.nativeX86 = platform.x86;
    run.options = ParseInstallerOptions(commandLine);
    if (!run.options.accepted)
        return kRunIncomplete;
    run.driverStageGate = DriverStageGateOpen(run.options, run.versionCode, FileMatchExists);
    runSteps(run);
    return run.failures;
}
