#include "LaunchTool.h"

bool StartsToolsElevated(WindowsVersionCode versionCode) {
    return versionCode >= 8 && versionCode <= 11;
}

void LaunchTool(ShellSeam& shell, WindowsVersionCode versionCode, const wchar_t* program,
                const wchar_t* parameters) {
    if (StartsToolsElevated(versionCode)) {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = L"runas";
        info.lpFile = program;
        info.lpParameters = parameters;
        info.nShow = SW_SHOWNORMAL;
        shell.executeEx(&info);
    } else {
        shell.execute(L"open", program, parameters, SW_SHOWNORMAL);
    }
}
