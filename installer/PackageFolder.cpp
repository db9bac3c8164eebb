#include "PackageFolder.h"

#include "common/UniqueResource.h"

std::wstring ReadPackageFolder() {
    constexpr DWORD kDataBytes = 1024;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPackageKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return {};
    UniqueRegKey key(raw);
    // One unit more than the data may fill, so a value stored without its terminator ends too.
    wchar_t data[kDataBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kDataBytes;
    if (RegQueryValueExW(key.get(), kPackageFolderValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    return std::wstring(data);
}
