#include "TestDevices.h"

#include "common/UniqueResource.h"
#include "installer/SetupHandles.h"

#include <windows.h>

#include <setupapi.h>

namespace {

// GUID_DEVCLASS_MEDIA
constexpr GUID kMediaClass = {
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::vector<wchar_t> multiString(const std::vector<std::wstring>& strings) {
    std::vector<wchar_t> data;
    for (const std::wstring& s : strings) {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return data;
}

} // namespace

bool CreateUsbDevice(const std::wstring& instanceId, const std::vector<std::wstring>& hardwareIds,
                     const std::wstring& infName) {
    UniqueDeviceList set(SetupDiCreateDeviceInfoList(&kMediaClass, nullptr));
    if (!set)
        return false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(set.get(), instanceId.c_str(), &kMediaClass, nullptr, nullptr, 0,
                                  &device))
        return false;
    const std::vector<wchar_t> ids = multiString(hardwareIds);
    if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size() * sizeof(wchar_t))))
        return false;
    if (!SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr))
        return false;
    if (infName.empty())
        return true;
    HKEY raw = SetupDiCreateDevRegKeyW(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr,
                                       nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return false;
    UniqueRegKey key(raw);
    return RegSetValueExW(
               key.get(), L"InfPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(infName.c_str()),
               static_cast<DWORD>((infName.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool DeviceExists(const std::wstring& instanceId) {
    UniqueDeviceList set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    return set && SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &device);
}

void RemoveDevice(const std::wstring& instanceId) {
    UniqueDeviceList set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (set && SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &device))
        SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
}

std::wstring WindowsInfFolderPath() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\";
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string DriverInfText(const std::string& section, const std::string& placeholder) {
    return "[Version]\r\n"
           "Signature=\"$Windows NT$\"\r\n"
           "Class=MEDIA\r\n"
           "ClassGuid={4d36e96c-e325-11ce-bfc1-08002be10318}\r\n"
           "Provider=%Maker%\r\n"
           "DriverVer=01/01/2026,1.0.0.0\r\n"
           "\r\n"
           "[SourceDisksNames]\r\n"
           "1=%Disk%\r\n"
           "\r\n"
           "[SourceDisksFiles]\r\n" +
           placeholder +
           "=1\r\n"
           "\r\n"
           "[DestinationDirs]\r\n"
           "DefaultDestDir=12\r\n"
           "\r\n"
           "[" +
           section +
           "]\r\n"
           "CopyFiles=DriverFiles\r\n"
           "\r\n"
           "[DriverFiles]\r\n" +
           placeholder +
           "\r\n"
           "\r\n"
           "[Strings]\r\n"
           "Maker=\"Calmora\"\r\n"
           "Disk=\"Quenvora-K9 USB Audio Driver\"\r\n";
}
