// Finding the device instances of the package's hardware id, present or not, and the OEM INF
// copies that belong to the package.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

// The hardware id with the revision part taken out, so that it compares with the interface id
// the caller names: USB\VID_v&PID_p&REV_r&MI_m -> USB\VID_v&PID_p&MI_m. False (the device is
// not an interface of a composite device) without both "&REV" and "MI".
bool InterfaceIdOf(const std::wstring& upperHardwareId, std::wstring& interfaceId);
// The interface id starts with `hardwareId`, ignoring case.
bool MatchesHardwareId(const std::wstring& interfaceId, const std::wstring& hardwareId);
// Some line of the text file at `path` holds `upperSection` once upper-cased. An empty section
// names no package and matches nothing.
bool InfHoldsSection(const std::wstring& path, const std::wstring& upperSection);

// The devices the stage removes, in enumeration order.
constexpr size_t kKeptDeviceCapacity = 8;
struct KeptDevice {
    SP_DEVINFO_DATA data;
    wchar_t infName[260]; // the OEM INF copy; empty: only the device goes
};
struct KeptDeviceTable {
    KeptDevice entries[kKeptDeviceCapacity];
    size_t count = 0;
    // A matching device found no room: the caller runs another pass after removing these.
    bool overflowed = false;
};

struct ScanRequest {
    std::wstring hardwareId;
    std::wstring upperSection;
    std::wstring infFolder; // the Windows INF folder with its trailing backslash
    bool uninstall = false;
};

// Fills `table` from `devices` (the USB enumerator's devices). Devices whose INF is not the
// package's go in with an empty name when installing and stay out when uninstalling.
void ScanDevices(HDEVINFO devices, const ScanRequest& request, KeptDeviceTable& table);
// The Windows INF folder, "<windows>\inf\", within 260 units; false when it does not fit.
bool WindowsInfFolder(std::wstring& folder);
