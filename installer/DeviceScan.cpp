#include "DeviceScan.h"

#include "AnsiText.h"
#include "SearchPath.h"

#include "MachineKey.h"
#include "common/UniqueResource.h"

#include <cwchar>

namespace {

constexpr wchar_t kClassKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr DWORD kPropertyBytes = 520;
constexpr size_t kInfLineUnits = 4096;
constexpr size_t kPathUnits = 260;

// The first string of a string property of at most 520 bytes; empty when there is none.
std::wstring stringProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[kPropertyBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), kPropertyBytes,
                                           nullptr))
        return {};
    if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ)
        return {};
    return std::wstring(buffer);
}

// The "InfPath" of the device's driver key into `name`; true only for more than 8 bytes of data.
bool readInfName(const std::wstring& driverKey, wchar_t (&name)[260]) {
    if (driverKey.empty())
        return false;
    UniqueRegKey key = OpenMachineKey((kClassKey + driverKey).c_str(), KEY_QUERY_VALUE);
    if (!key)
        return false;
    DWORD type = 0;
    // One unit short of the slot, so the name always ends inside it.
    DWORD size = sizeof(name) - sizeof(wchar_t);
    std::wmemset(name, L'\0', 260);
    if (RegQueryValueExW(key.get(), L"InfPath", nullptr, &type, reinterpret_cast<BYTE*>(name),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size <= 8) {
        name[0] = L'\0';
        return false;
    }
    return true;
}

} // namespace

bool InterfaceIdOf(const std::wstring& upperHardwareId, std::wstring& interfaceId) {
    const size_t revision = upperHardwareId.find(L"&REV");
    const size_t interfacePart = upperHardwareId.find(L"MI");
    if (revision == std::wstring::npos || interfacePart == std::wstring::npos)
        return false;
    interfaceId = upperHardwareId.substr(0, revision + 1) + upperHardwareId.substr(interfacePart);
    return true;
}

bool MatchesHardwareId(const std::wstring& interfaceId, const std::wstring& hardwareId) {
    if (hardwareId.empty() || interfaceId.size() < hardwareId.size())
        return false;
    return _wcsnicmp(interfaceId.c_str(), hardwareId.c_str(), hardwareId.size()) == 0;
}

bool InfHoldsSection(const std::wstring& path, const std::wstring& upperSection) {
    std::string ansiPath;
    if (upperSection.empty() || !ToAnsi(path, kPathUnits, ansiPath))
        return false;
    UniqueFile file(std::fopen(ansiPath.c_str(), "r"));
    if (!file)
        return false;
    char line[kInfLineUnits];
    wchar_t wide[kInfLineUnits];
    while (std::fgets(line, sizeof(line), file.get()) != nullptr) {
        const int units = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, kInfLineUnits);
        if (units <= 0)
            continue;
        if (UpperAscii(wide).find(upperSection) != std::wstring::npos)
            return true;
    }
    return false;
}

bool WindowsInfFolder(std::wstring& folder) {
    wchar_t windows[kPathUnits] = {};
    const UINT length = GetWindowsDirectoryW(windows, kPathUnits);
    if (length == 0 || length >= kPathUnits)
        return false;
    folder = std::wstring(windows) + L"\\inf\\";
    return folder.size() < kPathUnits;
}

void ScanDevices(HDEVINFO devices, const ScanRequest& request, KeptDeviceTable& table) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        std::wstring interfaceId;
        if (!InterfaceIdOf(UpperAscii(stringProperty(devices, device, SPDRP_HARDWAREID)),
                           interfaceId) ||
            !MatchesHardwareId(interfaceId, request.hardwareId))
            continue;
        if (table.count == kKeptDeviceCapacity) {
            table.overflowed = true;
            return;
        }
        KeptDevice& slot = table.entries[table.count];
        slot.data = device;
        bool packages = false;
        if (readInfName(stringProperty(devices, device, SPDRP_DRIVER), slot.infName)) {
            const std::wstring infFile = request.infFolder + slot.infName;
            packages =
                infFile.size() < kPathUnits && InfHoldsSection(infFile, request.upperSection);
        }
        if (!packages) {
            if (request.uninstall)
                continue;
            slot.infName[0] = L'\0';
        }
        ++table.count;
    }
}
