// One run of the installer: what it was asked, what it found, and the order of its steps.
#pragma once

#include "InstallerOptions.h"
#include "ShellSeam.h"

#include <string>

// What a run could not do, one bit per step; together they are the program's exit code, so 0
// means that every step the command line asked for was done. A step that cannot do its job
// leaves the system as the steps before it left it, sets its bit, and the run goes on.
enum RunFailure : unsigned {
    kFailedCertificates = 0x01, // the certificate is not in both machine stores
    kFailedDriverStage = 0x02,  // the kernel driver package step
    kFailedAutostart = 0x04,    // the autostart entry or the panel's start or stop
    kFailedRegistration = 0x08, // a driver's registration or unregistration
    kFailedRestart = 0x10,      // the restart was not granted
    kFailedCleanUp = 0x20,      // files the run meant to delete are still there
    kNoPackageFolder = 0x40,    // a step asked for needs the package folder, which is unusable
    // The steps did not run through: the command line was too long for its buffer, the Windows
    // version could not be read, or the run ended on an unexpected failure.
    kRunIncomplete = 0x80,
};

struct InstallerRun {
    InstallerOptions options;
    std::wstring packageFolder; // with its trailing backslash, or empty
    WindowsVersionCode versionCode = kVersionUnknown;
    bool nativeX86 = true; // false on 64-bit Windows, where both drivers are registered
    bool driverStageGate = false;
    unsigned failures = 0; // RunFailure bits
    ShellSeam& shell;

    explicit InstallerRun(ShellSeam& s) : shell(s) {}
    bool hasPackageFolder() const { return !packageFolder.empty(); }
    // The package folder followed by `name`.
    std::wstring packageFile(const wchar_t* name) const { return packageFolder + name; }
    void fail(RunFailure failure) { failures |= failure; }
};

// The whole run for `commandLine` (the text after the program's name). Returns in every case,
// with the RunFailure bits of the steps that could not do their job.
unsigned RunInstaller(const wchar_t* commandLine, ShellSeam& shell);
