#include "LaunchTool.h"

bool StartsToolsElevated(WindowsVersionCode versionCode) {
    return versionCode >= 8 && versionCode <= 11;
}

LaunchedTool LaunchTool(ShellSeam& shell, WindowsVersionCode versionCode, const wchar_t* program,
                        const wchar_t* parameters) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // No box of the shell's own on a failure (nobody is there to click it), the process handle
    // for the step to wait on, and the start complete before the call returns.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = StartsToolsElevated(versionCode) ? L"runas" : L"open";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    LaunchedTool tool;
    tool.started = shell.executeEx(&info) != FALSE;
    if (tool.started)
        tool.process.reset(info.hProcess);
    return tool;
}

std::wstring SystemProgram(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(folder, length) + L"\\" + name;
}

bool WaitUntilToolEnds(LaunchedTool& tool) {
    if (!tool.started)
        return false;
    // Started through a handler that hands out no process: only what it leaves behind tells.
    if (!tool.process)
        return true;
    return WaitForTool(tool.process.get(), kToolTimeoutMs, nullptr) == ToolOutcome::kEnded;
}
