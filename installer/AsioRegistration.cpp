// The ASIO driver registers itself when the system's registration tool asks it to.
#include "AnsiText.h"
#include "FinishingSteps.h"
#include "InstallerRun.h"

void UpdateAsioRegistration(InstallerRun& run) {
    if (!run.hasPackageFolder())
        return;
    std::wstring command = run.options.uninstall ? L"RegSvr32.exe /u \"" : L"RegSvr32.exe \"";
    command += run.packageFile(kDriverDll);
    command += L"\"";
    std::string ansi;
    if (!ToAnsi(command, kAnsiCommandBytes, ansi))
        return;
    // The one wait without a bound: the registration must be complete before the run goes on.
    run.shell.runCommand(ansi.c_str());
}
