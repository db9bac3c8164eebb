// Starting the certificate tool through the shell: elevated where the system asks for it, and
// never with a box of the shell's own.
#pragma once

#include "ShellSeam.h"
#include "common/UniqueResource.h"
#include "common/WindowsVersion.h"

#include <string>

// Windows Vista, Server 2008, 7 and Server 2008 R2 start tools with "runas".
bool StartsToolsElevated(WindowsVersionCode versionCode);

struct LaunchedTool {
    bool started = false;
    UniqueHandle process; // may be empty even when started: then nobody can wait for it
};

// Starts `program` with `parameters` and does not wait for it.
LaunchedTool LaunchTool(ShellSeam& shell, WindowsVersionCode versionCode, const wchar_t* program,
                        const wchar_t* parameters);

// The file `name` of the system folder ("...\system32\name"); empty when the folder is unknown.
std::wstring SystemProgram(const wchar_t* name);

// How long a tool the run waits for may take before it counts as hung.
constexpr DWORD kToolTimeoutMs = 120000;

// Waits for `tool` within the bound; false when it was not started or did not end in time. Its
// exit code is not asked: the step checks what the tool left behind.
bool WaitUntilToolEnds(LaunchedTool& tool);
