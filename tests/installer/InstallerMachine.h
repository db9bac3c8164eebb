// The parts of the machine an installer test sets up and puts back: the package-folder value,
// the driver search path, the simulated Windows version, and files in a scratch package folder.
#pragma once

#include "common/WindowsVersion.h"

#include <windows.h>

#include <string>

// Writes the package-folder value for the test's life and deletes the package key afterwards.
class PackageFolderValue {
public:
    explicit PackageFolderValue(const std::wstring& folder);
    ~PackageFolderValue();
    PackageFolderValue(const PackageFolderValue&) = delete;
    PackageFolderValue& operator=(const PackageFolderValue&) = delete;
};

// The simulated machine answers as this Windows version until the machine is reset.
void SimulateWindows(WindowsVersionCode code);
// A fresh, empty folder under the temporary folder, with a trailing backslash.
std::wstring ScratchFolder(const wchar_t* name);
void RemoveFolder(const std::wstring& folder);
// A registry string value of HKLM, or "<missing>"; in the registry view `view` asks for
// (KEY_WOW64_64KEY, KEY_WOW64_32KEY), else in the program's own.
std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value, REGSAM view = 0);
bool MachineKeyExists(const wchar_t* key, REGSAM view = 0);
// Sets a registry string value of HKLM, making its key when missing; or deletes the value.
void WriteMachineString(const wchar_t* key, const wchar_t* value, const std::wstring& text,
                        DWORD type = REG_SZ);
void DeleteMachineValue(const wchar_t* key, const wchar_t* value);

// The driver search path ("DevicePath") as the test found it, put back when the holder goes.
class SavedSearchPath {
public:
    SavedSearchPath();
    ~SavedSearchPath();
    SavedSearchPath(const SavedSearchPath&) = delete;
    SavedSearchPath& operator=(const SavedSearchPath&) = delete;

private:
    std::wstring saved_;
};
void SetSearchPath(const std::wstring& text, DWORD type = REG_EXPAND_SZ);
// The panel's log-on task as the Task Scheduler stored it, or "<missing>". Wine keeps each task
// as a file under the system folder's Tasks folder, as Windows does.
std::wstring StoredLogonTask();
std::wstring Widen(const std::string& text);
