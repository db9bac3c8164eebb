// Device instances under the USB enumerator, made in the real device-setup database of the test
// prefix the way Plug and Play leaves them (hardware ids, a driver key with its INF name), and
// INF files in the Windows INF folder.
#pragma once

#include <string>
#include <vector>

// Creates the instance (not connected) with `hardwareIds`; with a non-empty `infName` it also
// gets a driver key whose "InfPath" holds that name.
bool CreateUsbDevice(const std::wstring& instanceId, const std::vector<std::wstring>& hardwareIds,
                     const std::wstring& infName);
bool DeviceExists(const std::wstring& instanceId);
void RemoveDevice(const std::wstring& instanceId);

// The Windows INF folder with its trailing backslash.
std::wstring WindowsInfFolderPath();
void WriteTextFile(const std::wstring& path, const std::string& text);
bool PathExists(const std::wstring& path);
// An INF file whose install section is `section`, copying `placeholder` into the drivers folder.
std::string DriverInfText(const std::string& section, const std::string& placeholder);
