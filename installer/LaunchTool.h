// Starting the certificate tool and the command interpreter: elevated where the system asks for
// it, never waited for.
#pragma once

#include "ShellSeam.h"
#include "common/WindowsVersion.h"

// Windows Vista, Server 2008, 7 and Server 2008 R2 start tools with "runas".
bool StartsToolsElevated(WindowsVersionCode versionCode);
void LaunchTool(ShellSeam& shell, WindowsVersionCode versionCode, const wchar_t* program,
                const wchar_t* parameters);
