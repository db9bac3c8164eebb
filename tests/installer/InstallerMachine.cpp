#include "InstallerMachine.h"

#include "common/UniqueResource.h"
#include "installer/LogonTask.h"
#include "installer/PackageFolder.h"
#include "installer/SearchPath.h"
#include "sim/SimDeviceState.h"

#include <shellapi.h>

#include <vector>

PackageFolderValue::PackageFolderValue(const std::wstring& folder) {
    WriteMachineString(kPackageKey, kPackageFolderValue, folder);
}

PackageFolderValue::~PackageFolderValue() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPackageKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Calmora");
}

void SimulateWindows(WindowsVersionCode code) {
    struct Row {
        WindowsVersionCode code;
        DWORD platform, major, minor;
        BYTE product;
    };
    static const Row kRows[] = {
        {1, VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0}, {5, VER_PLATFORM_WIN32_NT, 5, 0, 1},
        {6, VER_PLATFORM_WIN32_NT, 5, 1, 1},      {7, VER_PLATFORM_WIN32_NT, 5, 2, 3},
        {8, VER_PLATFORM_WIN32_NT, 6, 0, 1},      {9, VER_PLATFORM_WIN32_NT, 6, 0, 3},
        {10, VER_PLATFORM_WIN32_NT, 6, 1, 1},     {11, VER_PLATFORM_WIN32_NT, 6, 1, 3},
        {12, VER_PLATFORM_WIN32_NT, 6, 2, 1},
    };
    sim::SimVersion& v = sim::state()->version;
    for (const Row& row : kRows) {
        if (row.code != code)
            continue;
        v.platformId = row.platform;
        v.major = row.major;
        v.minor = row.minor;
        v.productType = row.product;
        v.failBasic = v.failExtended = 0;
        MemoryBarrier();
        v.active = 1;
    }
}

std::wstring ScratchFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L"\\";
    RemoveFolder(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void RemoveFolder(const std::wstring& folder) {
    // The shell's delete wants a double-terminated list and no trailing backslash.
    std::vector<wchar_t> from(folder.begin(), folder.end());
    while (!from.empty() && from.back() == L'\\')
        from.pop_back();
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::wstring ReadMachineString(const wchar_t* keyPath, const wchar_t* value, REGSAM view) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, &raw) !=
        ERROR_SUCCESS)
        return L"<missing>";
    UniqueRegKey key(raw);
    wchar_t data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

bool MachineKeyExists(const wchar_t* keyPath, REGSAM view) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, &raw) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(raw);
    return true;
}

void WriteMachineString(const wchar_t* keyPath, const wchar_t* value, const std::wstring& text,
                        DWORD type) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return;
    UniqueRegKey key(raw);
    RegSetValueExW(key.get(), value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void DeleteMachineValue(const wchar_t* keyPath, const wchar_t* value) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS)
        return;
    UniqueRegKey key(raw);
    RegDeleteValueW(key.get(), value);
}

SavedSearchPath::SavedSearchPath()
    : saved_(ReadMachineString(kCurrentVersionKey, kDevicePathValue)) {}

SavedSearchPath::~SavedSearchPath() {
    if (saved_ == L"<missing>")
        DeleteMachineValue(kCurrentVersionKey, kDevicePathValue);
    else
        SetSearchPath(saved_);
}

void SetSearchPath(const std::wstring& text, DWORD type) {
    WriteMachineString(kCurrentVersionKey, kDevicePathValue, text, type);
}

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    for (char c : text)
        wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

std::wstring StoredLogonTask() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring path = std::wstring(system) + L"\\Tasks\\" + kLogonTaskName;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file)
        return L"<missing>";
    std::string bytes(64 * 1024, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return L"<unreadable>";
    bytes.resize(read);
    // UTF-16 with its byte-order mark, or 8-bit text.
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xFE)
        return Widen(bytes);
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}
