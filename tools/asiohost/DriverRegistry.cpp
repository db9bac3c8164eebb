#include "DriverRegistry.h"

#include "common/UniqueResource.h"

#include <objbase.h>

namespace asiohost {

namespace {

constexpr char kAsioKey[] = "SOFTWARE\\ASIO";

// A REG_SZ value, or false; the text is terminated whatever the registry holds.
bool readString(HKEY key, const char* name, std::string& text) {
    char buffer[512] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer) - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer[size] = '\0';
    text = buffer;
    return true;
}

UniqueRegKey openKey(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return UniqueRegKey{};
    return UniqueRegKey{key};
}

} // namespace

std::vector<InstalledDriver> listInstalledDrivers() {
    std::vector<InstalledDriver> drivers;
    UniqueRegKey root = openKey(HKEY_LOCAL_MACHINE, kAsioKey);
    if (!root)
        return drivers;
    for (DWORD index = 0;; ++index) {
        char name[256] = {};
        DWORD length = sizeof(name);
        const LONG result =
            RegEnumKeyExA(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            continue;
        InstalledDriver driver;
        driver.name = name;
        if (UniqueRegKey sub = openKey(root.get(), name)) {
            readString(sub.get(), "CLSID", driver.clsidText);
            readString(sub.get(), "Description", driver.description);
        }
        drivers.push_back(driver);
    }
    return drivers;
}

DriverLookup findDriver(const std::string& name) {
    DriverLookup lookup;
    UniqueRegKey key = openKey(HKEY_LOCAL_MACHINE, std::string(kAsioKey) + "\\" + name);
    if (!key) {
        lookup.error = "no ASIO driver named \"" + name +
                       "\" is installed (HKLM\\SOFTWARE\\ASIO has no such key)";
        return lookup;
    }
    if (!readString(key.get(), "CLSID", lookup.clsidText)) {
        lookup.error = "the driver \"" + name + "\" has no readable CLSID value";
        return lookup;
    }
    wchar_t wide[128] = {};
    if (MultiByteToWideChar(CP_ACP, 0, lookup.clsidText.c_str(), -1, wide, 127) == 0 ||
        FAILED(CLSIDFromString(wide, &lookup.clsid))) {
        lookup.error = "the driver's CLSID value \"" + lookup.clsidText + "\" is not a CLSID";
        return lookup;
    }
    lookup.found = true;
    return lookup;
}

} // namespace asiohost
