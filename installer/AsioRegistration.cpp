// The ASIO driver registers itself when the system's registration tool asks it to. The tool is
// started by its full path in the system folder, never by its name alone, and not through the
// command interpreter: a RegSvr32.exe in the folder the setup was started from must not run in
// its place, and no shell may expand anything in the package folder's name.
#include "AnsiText.h"
#include "FinishingSteps.h"
#include "InstallerRun.h"
#include "LaunchTool.h"

#include <string>

namespace {

// RegSvr32 of the 32-bit system on 64-bit Windows: it loads the 32-bit driver, whose
// registration then lands in the 32-bit registry view, where 32-bit hosts look.
std::wstring Wow64RegistrationTool() {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(windows, length) + L"\\SysWOW64\\RegSvr32.exe";
}

std::wstring folderOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Runs `tool` on the driver file `dll` of the package folder; true when it reports success.
// "/s": without it the tool answers a success with a box, and nobody is there to click it. The
// tool works in its own folder, so nothing it looks for in its current folder is the setup's.
bool RunRegistrationTool(InstallerRun& run, const std::wstring& tool, const wchar_t* dll) {
    if (tool.empty())
        return false;
    std::wstring line = L"\"" + tool + L"\" /s ";
    if (run.options.uninstall)
        line += L"/u ";
    line += L"\"" + run.packageFile(dll) + L"\"";
    DWORD code = 1;
    // A failing driver shows a box of its own, even to a silent tool; past the bound the tool is
    // ended and the step counts as failed.
    const ToolOutcome outcome = run.shell.runProgram(tool.c_str(), line.c_str(),
                                                     folderOf(tool).c_str(), kToolTimeoutMs, &code);
    return outcome == ToolOutcome::kEnded && code == 0;
}

} // namespace

void UpdateAsioRegistration(InstallerRun& run) {
    if (!run.hasPackageFolder())
        return;
    // The driver registers its own path through the ANSI code page: from a folder whose name has
    // no place there it would register a path no host can load.
    if (!SurvivesAnsiCodePage(run.packageFolder)) {
        run.fail(kFailedRegistration);
        return;
    }
    const std::wstring nativeTool = SystemProgram(L"RegSvr32.exe");
    if (run.nativeX86) {
        if (!RunRegistrationTool(run, nativeTool, kDriverDll))
            run.fail(kFailedRegistration);
        return;
    }
    // 64-bit Windows: each driver through its own bitness's tool, so that each registers in its
    // own view and neither touches the other's. The assistant that runs here is the native one,
    // so its system folder holds the 64-bit tool.
    if (!RunRegistrationTool(run, nativeTool, kDriverDll64)) {
        OutputDebugStringA("QvK9InstAsst: the 64-bit ASIO driver's registration step failed\n");
        run.fail(kFailedRegistration);
    }
    if (!RunRegistrationTool(run, Wow64RegistrationTool(), kDriverDll)) {
        OutputDebugStringA("QvK9InstAsst: the 32-bit ASIO driver's registration step failed\n");
        run.fail(kFailedRegistration);
    }
}
