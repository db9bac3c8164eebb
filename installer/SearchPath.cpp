#include "SearchPath.h"

#include "MachineKey.h"
#include "common/UniqueResource.h"

#include <vector>

namespace {

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

bool writeString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Folder names compare as Windows compares them: without regard to case, letter by letter.
std::wstring foldedCase(std::wstring text) {
    if (!text.empty())
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The entries between separators, empty ones included, so that joining them gives the text back.
std::vector<std::wstring> entriesOf(const std::wstring& path) {
    std::vector<std::wstring> entries;
    size_t begin = 0;
    for (;;) {
        const size_t separator = path.find(L';', begin);
        entries.push_back(path.substr(begin, separator - begin));
        if (separator == std::wstring::npos)
            return entries;
        begin = separator + 1;
    }
}

bool holdsEntry(const std::vector<std::wstring>& entries, const std::wstring& entry) {
    const std::wstring wanted = foldedCase(entry);
    for (const std::wstring& e : entries) {
        if (foldedCase(e) == wanted)
            return true;
    }
    return false;
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
    if (holdsEntry(entriesOf(current), entry))
        return false;
    result = entry + L";" + current;
    return true;
}

bool WithEntryCut(const std::wstring& current, const std::wstring& entry, std::wstring& result) {
    if (entry.empty())
        return false;
    const std::wstring wanted = foldedCase(entry);
    bool found = false;
    std::wstring kept;
    bool first = true;
    for (const std::wstring& e : entriesOf(current)) {
        if (foldedCase(e) == wanted) {
            found = true;
            continue;
        }
        if (!first)
            kept += L";";
        kept += e;
        first = false;
    }
    if (!found)
        return false;
    result = kept;
    return true;
}

bool AddDriverFolderToSearchPath(const std::wstring& packageFolder) {
    UniqueRegKey key = OpenMachineKey(kCurrentVersionKey, KEY_ALL_ACCESS);
    if (!key)
        return false;
    // Without a value of its own the system searches its INF folder only, and the value is not
    // made for us; Windows always has one, a new Wine prefix has none.
    if (RegQueryValueExW(key.get(), kDevicePathValue, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_FILE_NOT_FOUND)
        return true;
    StringValue value;
    // A path that cannot be read whole is left as it is rather than replaced by our entry alone.
    if (!readString(key.get(), kDevicePathValue, value))
        return false;
    std::wstring updated;
    if (!WithEntryFirst(value.text, DriverFolderEntry(packageFolder), updated))
        return true;
    return writeString(key.get(), kDevicePathValue, value.type, updated);
}

bool RemoveDriverFolderFromSearchPath(const std::wstring& packageFolder) {
    UniqueRegKey key = OpenMachineKey(kCurrentVersionKey, KEY_ALL_ACCESS);
    if (!key)
        return false;
    StringValue value;
    // No search path, or one that is no text, holds nothing of ours.
    if (!readString(key.get(), kDevicePathValue, value))
        return true;
    std::wstring updated;
    if (!WithEntryCut(value.text, DriverFolderEntry(packageFolder), updated))
        return true;
    return writeString(key.get(), kDevicePathValue, REG_EXPAND_SZ, updated);
}

void SetSigningPolicy(bool installing) {
    UniqueRegKey settings;
    HKEY raw = nullptr;
    if (installing) {
        UniqueRegKey policies = OpenMachineKey(kPoliciesKey, KEY_ALL_ACCESS);
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
        settings = OpenMachineKey(kSigningSettingsKey, KEY_ALL_ACCESS);
        if (!settings)
            return;
    }
    const DWORD value = installing ? 1 : 0;
    RegSetValueExW(settings.get(), kAllSigningEqualValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
