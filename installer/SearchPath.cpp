#include "SearchPath.h"

#include "common/UniqueResource.h"

#include <vector>

namespace {

UniqueRegKey openKey(const wchar_t* path) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}

struct StringValue {
    DWORD type = 0;
    std::wstring text;
};

// The whole value as text; false when it is missing, not a string, or changes size under us.
bool readString(HKEY key, const wchar_t* name, StringValue& value) {
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return false;
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
        return false;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data.data()),
                         &read) != ERROR_SUCCESS)
        return false;
    value.text.assign(data.data());
    return true;
}

void writeString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

} // namespace

std::wstring UpperAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

std::wstring DriverFolderEntry(const std::wstring& packageFolder) {
    return UpperAscii(packageFolder + L"Driver");
}

bool WithEntryFirst(const std::wstring& current, const std::wstring& entry, std::wstring& result) {
    if (current.find(entry) != std::wstring::npos)
        return false;
    result = entry + L";" + current;
    return true;
}

bool WithEntryCut(const std::wstring& current, const std::wstring& marker, std::wstring& result) {
    if (marker.empty())
        return false;
    const size_t at = current.find(marker);
    if (at == std::wstring::npos)
        return false;
    const size_t separator = current.find(L';', at);
    if (at > 0) {
        result = current.substr(0, at - 1);
        if (separator != std::wstring::npos)
            result += current.substr(separator);
    } else {
        result = separator == std::wstring::npos ? std::wstring() : current.substr(separator + 1);
    }
    return true;
}

void AddDriverFolderToSearchPath(const std::wstring& packageFolder) {
    UniqueRegKey key = openKey(kCurrentVersionKey);
    StringValue value;
    // A path that cannot be read whole is left as it is rather than replaced by our entry alone.
    if (!key || !readString(key.get(), kDevicePathValue, value))
        return;
    std::wstring updated;
    if (WithEntryFirst(value.text, DriverFolderEntry(packageFolder), updated))
        writeString(key.get(), kDevicePathValue, value.type, updated);
}

void RemoveDriverFolderFromSearchPath(const std::wstring& packageFolder) {
    UniqueRegKey key = openKey(kCurrentVersionKey);
    StringValue value;
    if (!key || !readString(key.get(), kDevicePathValue, value))
        return;
    std::wstring updated;
    if (WithEntryCut(value.text, UpperAscii(packageFolder), updated))
        writeString(key.get(), kDevicePathValue, REG_EXPAND_SZ, updated);
}

void SetSigningPolicy(bool installing) {
    UniqueRegKey settings;
    HKEY raw = nullptr;
    if (installing) {
        UniqueRegKey policies = openKey(kPoliciesKey);
        if (!policies)
            return;
        if (RegCreateKeyExW(policies.get(), L"DeviceInstall", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &raw, nullptr) != ERROR_SUCCESS)
            return;
        UniqueRegKey deviceInstall(raw);
        if (RegCreateKeyExW(deviceInstall.get(), L"Settings", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &raw, nullptr) != ERROR_SUCCESS)
            return;
        settings.reset(raw);
    } else {
        settings = openKey(kSigningSettingsKey);
        if (!settings)
            return;
    }
    const DWORD value = installing ? 1 : 0;
    RegSetValueExW(settings.get(), kAllSigningEqualValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
