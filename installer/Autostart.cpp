// The control panel starts at log-on from the Run value, and at once after an install.
#include "FinishingSteps.h"
#include "InstallerRun.h"
#include "PanelExit.h"

#include "common/PanelCommands.h"
#include "common/UniqueResource.h"

namespace {

UniqueRegKey openRunKey() {
    HKEY raw = nullptr;
    // The Run key belongs to the system: it is opened, never created.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}

void installAutostart(InstallerRun& run) {
    if (!run.hasPackageFolder())
        return;
    const std::wstring panel = run.packageFile(kPanelProgram);
    if (UniqueRegKey key = openRunKey()) {
        const DWORD bytes = static_cast<DWORD>((panel.size() + 1) * sizeof(wchar_t));
        RegSetValueExW(key.get(), kAutostartValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(panel.c_str()), bytes);
    }
    // Always "open": the panel asks for its own elevation through its manifest.
    run.shell.execute(L"open", panel.c_str(), nullptr, SW_SHOWNORMAL);
}

void removeAutostart() {
    if (UniqueRegKey key = openRunKey())
        RegDeleteValueW(key.get(), kAutostartValue);
    SendExitCommand(kPanelWindowTitle);
}

} // namespace

void UpdateAutostart(InstallerRun& run) {
    if (run.options.uninstall)
        removeAutostart();
    else
        installAutostart(run);
}
