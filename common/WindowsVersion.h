// Classification of the running Windows, as the control panel and the installer use it.
#pragma once

#include <windows.h>

// 0 Win32s; 1/2/3 Windows 95/98/Me; 4 NT 4 or older; 5/6/7 NT 5.0/5.1/5.2;
// 8/9 NT 6.0 workstation/other; 10/11 NT 6.1 workstation/other; 12 anything else.
using WindowsVersionCode = int;
constexpr WindowsVersionCode kVersionUnknown = 12;

struct CPlatformInfo {
    WindowsVersionCode versionCode = kVersionUnknown;
    DWORD majorVersion = 0; // set only on the NT platform
    bool x86 = true;        // the native processor is 32-bit x86
};

// Reads the version record, the extended form first and the basic one when that fails; false
// when neither can be read. Both classifications of the running system start here.
bool ReadVersionRecord(OSVERSIONINFOEXA& version);

// Fills `platform`; false when the version cannot be read or the platform is unknown.
bool ReadSystemInfo(CPlatformInfo& platform);
// Writes the process's elevation state to the debugger output.
void LogElevation();
