// One run of the installer: what it was asked, what it found, and the order of its steps.
#pragma once

#include "InstallerOptions.h"
#include "ShellSeam.h"

#include <string>

struct InstallerRun {
    InstallerOptions options;
    std::wstring packageFolder; // with its trailing backslash, or empty
    WindowsVersionCode versionCode = kVersionUnknown;
    bool nativeX86 = true; // false on 64-bit Windows, where both drivers are registered
    bool driverStageGate = false;
    ShellSeam& shell;

    explicit InstallerRun(ShellSeam& s) : shell(s) {}
    bool hasPackageFolder() const { return !packageFolder.empty(); }
    // The package folder followed by `name`.
    std::wstring packageFile(const wchar_t* name) const { return packageFolder + name; }
};

// The whole run for `commandLine` (the text after the program's name). Returns in every case;
// each step's failure is ignored and the next one runs.
void RunInstaller(const wchar_t* commandLine, ShellSeam& shell);
