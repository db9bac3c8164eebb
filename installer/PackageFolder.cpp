#include "PackageFolder.h"

#include "MachineKey.h"
#include "common/UniqueResource.h"

namespace {

// A drive letter's root or a network share: the steps must never depend on the current folder.
bool isFullPath(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        return true;
    return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

std::wstring expanded(const wchar_t* text) {
    const DWORD units = ExpandEnvironmentStringsW(text, nullptr, 0);
    if (units == 0)
        return std::wstring();
    std::wstring out(units, L'\0');
    if (ExpandEnvironmentStringsW(text, out.data(), units) != units)
        return std::wstring();
    out.resize(units - 1);
    return out;
}

} // namespace

std::wstring ReadPackageFolder() {
    constexpr DWORD kDataBytes = 1024;
    UniqueRegKey key = OpenMachineKey(kPackageKey, KEY_QUERY_VALUE);
    if (!key)
        return {};
    // One unit more than the data may fill, so a value stored without its terminator ends too.
    wchar_t data[kDataBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kDataBytes;
    if (RegQueryValueExW(key.get(), kPackageFolderValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    std::wstring folder = type == REG_EXPAND_SZ ? expanded(data) : std::wstring(data);
    if (!isFullPath(folder))
        return {};
    // The setup program writes it with its backslash; every file name is appended directly.
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder;
}
