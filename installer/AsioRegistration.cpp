// The ASIO driver registers itself when the system's registration tool asks it to.
#include "AnsiText.h"
#include "FinishingSteps.h"
#include "InstallerRun.h"

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

// Runs `tool` on the driver file `dll` of the package folder. A tool given by its path is quoted
// too, and the whole line then once more: the command interpreter drops the outermost pair of
// quotes of a line that starts with one. False when the command cannot be run or the tool
// reports a failure.
bool RunRegistrationTool(InstallerRun& run, const std::wstring& tool, bool toolInQuotes,
                         const wchar_t* dll) {
    std::wstring command = toolInQuotes ? L"\"" + tool + L"\"" : tool;
    command += run.options.uninstall ? L" /u \"" : L" \"";
    command += run.packageFile(dll);
    command += L"\"";
    if (toolInQuotes)
        command = L"\"" + command + L"\"";
    std::string ansi;
    if (!ToAnsi(command, kAnsiCommandBytes, ansi))
        return false;
    // The one wait without a bound: the registration must be complete before the run goes on.
    return run.shell.runCommand(ansi.c_str()) == 0;
}

} // namespace

void UpdateAsioRegistration(InstallerRun& run) {
    if (!run.hasPackageFolder())
        return;
    if (run.nativeX86) {
        RunRegistrationTool(run, L"RegSvr32.exe", false, kDriverDll);
        return;
    }
    // 64-bit Windows: each driver through its own bitness's tool, so that each registers in its
    // own view and neither touches the other's. The assistant that runs here is the native one,
    // so the tool it finds by name is the 64-bit one.
    if (!RunRegistrationTool(run, L"RegSvr32.exe", false, kDriverDll64))
        OutputDebugStringA("QvK9InstAsst: the 64-bit ASIO driver's registration step failed\n");
    const std::wstring wow64Tool = Wow64RegistrationTool();
    if (wow64Tool.empty() || !RunRegistrationTool(run, wow64Tool, true, kDriverDll))
        OutputDebugStringA("QvK9InstAsst: the 32-bit ASIO driver's registration step failed\n");
}
