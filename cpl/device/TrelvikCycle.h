// The Trelvik cycle: for one batch of registry-value requests the panel copies the driver into
// the system folder, installs and starts it as a service, sends the batch to its device, and
// stops and removes the service again. No service named "Trelvik" is left between batches.
#pragma once

#include "DeviceWireRecords.h"

#include "common/WindowsVersion.h"

constexpr int kDriverPathChars = 260;
constexpr char kTrelvikServiceName[] = "Trelvik";

enum DriverServiceAction { kInstallAndStart = 1, kStopAndDelete = 2 };

// Appends `tail` to `path` when the result fits in kDriverPathChars with its terminator.
bool AppendPath(char (&path)[kDriverPathChars], const char* tail);

// Copies Trelvik.dll from the program's folder onto Trelvik.sys in the system folder (SysWOW64
// on a 64-bit Windows) and leaves the target's full path in `path`.
bool PrepareDriverFile(char (&path)[kDriverPathChars], const CPlatformInfo& platform);
bool ControlDriverService(const char* binaryPath, const char* serviceName, int action);

// IOCTL_REGVALUE_WRITE for exactly two records.
bool WriteValuesViaDriver(RegValueRequest* records, const CPlatformInfo& platform);
// IOCTL_REGVALUE_READ for the first `count` records (1 or 2).
bool ReadValuesViaDriver(RegValueRequest* records, const CPlatformInfo& platform, int count);
