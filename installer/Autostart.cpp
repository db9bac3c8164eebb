// The control panel starts at log-on from the Run value (and on Vista and later from its log-on
// task), and at once after an install.
#include "FinishingSteps.h"
#include "InstallerRun.h"
#include "LogonTask.h"
#include "PanelExit.h"

#include "common/PanelCommands.h"
#include "MachineKey.h"
#include "common/UniqueResource.h"

namespace {

UniqueRegKey openRunKey() {
    // The Run key belongs to the system: it is opened, never created.
    return OpenMachineKey(kRunKey, KEY_SET_VALUE);
}

// Whether the panel will start at log-on and has started now: the Run value written and, where
// Windows has them, the log-on task registered.
bool installAutostart(InstallerRun& run) {
    const std::wstring panel = run.packageFile(kPanelProgram);
    bool done = false;
    if (UniqueRegKey key = openRunKey()) {
        const DWORD bytes = static_cast<DWORD>((panel.size() + 1) * sizeof(wchar_t));
        done = RegSetValueExW(key.get(), kAutostartValue, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(panel.c_str()), bytes) == ERROR_SUCCESS;
    }
    if (HasLogonTasks(run.versionCode))
        done = RegisterLogonTask(panel) && done;
    // Always "open": the panel asks for its own elevation through its manifest.
    const HINSTANCE started = run.shell.execute(L"open", panel.c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32 && done;
}

// Whether nothing is left that starts the panel at log-on.
bool removeAutostart(InstallerRun& run) {
    bool done = false;
    if (UniqueRegKey key = openRunKey()) {
        const LONG status = RegDeleteValueW(key.get(), kAutostartValue);
        done = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    if (HasLogonTasks(run.versionCode))
        done = DeleteLogonTask() && done;
    SendExitCommand(kPanelWindowTitle);
    return done;
}

} // namespace

void UpdateAutostart(InstallerRun& run) {
    bool done = true;
    if (run.options.uninstall)
        done = removeAutostart(run);
    // Without the package folder the run already says that the step could not be done.
    else if (run.hasPackageFolder())
        done = installAutostart(run);
    if (!done)
        run.fail(kFailedAutostart);
}
