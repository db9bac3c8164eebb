#include "StagedPackage.h"

#include "PackageFolder.h"

#include "MachineKey.h"
#include "common/UniqueResource.h"

#include <setupapi.h>

#include <cwchar>

namespace {

std::vector<std::wstring> readList(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return {};
    // Two units more than the data, so that a list stored without its terminators ends too.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> items;
    for (const wchar_t* item = data.data(); *item != L'\0'; item += std::wcslen(item) + 1)
        items.emplace_back(item);
    return items;
}

bool writeList(HKEY key, const wchar_t* name, const std::vector<std::wstring>& items) {
    std::vector<wchar_t> data;
    for (const std::wstring& item : items) {
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

UniqueRegKey openPackageKey(REGSAM access) {
    // The key is the setup program's: written to when it is there, never made.
    return OpenMachineKey(kPackageKey, access);
}

} // namespace

void AddOnce(std::vector<std::wstring>& names, const std::wstring& name) {
    for (const std::wstring& known : names) {
        if (_wcsicmp(known.c_str(), name.c_str()) == 0)
            return;
    }
    names.push_back(name);
}

StagedPackage ReadStagedPackage() {
    StagedPackage staged;
    if (UniqueRegKey key = openPackageKey(KEY_QUERY_VALUE)) {
        staged.infNames = readList(key.get(), kStagedInfsValue);
        staged.createdFiles = readList(key.get(), kCreatedFilesValue);
    }
    return staged;
}

bool RecordStagedPackage(const StagedPackage& added) {
    StagedPackage record = ReadStagedPackage();
    for (const std::wstring& name : added.infNames)
        AddOnce(record.infNames, name);
    for (const std::wstring& path : added.createdFiles)
        AddOnce(record.createdFiles, path);
    UniqueRegKey key = openPackageKey(KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key)
        return false;
    const bool infs = writeList(key.get(), kStagedInfsValue, record.infNames);
    const bool files = writeList(key.get(), kCreatedFilesValue, record.createdFiles);
    return infs && files;
}

void ForgetStagedPackage() {
    if (UniqueRegKey key = openPackageKey(KEY_SET_VALUE)) {
        RegDeleteValueW(key.get(), kStagedInfsValue);
        RegDeleteValueW(key.get(), kCreatedFilesValue);
    }
}

bool UninstallOemInf(const std::wstring& name) {
    // Not exported by the setup library of Windows 2000: looked up when needed.
    using Fn = BOOL(WINAPI*)(const wchar_t*, DWORD, void*);
    HMODULE setupApi = GetModuleHandleA("setupapi.dll");
    auto fn = setupApi != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                        GetProcAddress(setupApi, "SetupUninstallOEMInfW")))
                                  : nullptr;
    return fn != nullptr && fn(name.c_str(), SUOI_FORCEDELETE, nullptr);
}

bool DeleteCreatedFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str()))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return true;
    // A kernel driver whose image is still loaded cannot be deleted before the restart.
    return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}
