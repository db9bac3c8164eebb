// The parts of the machine an installer test sets up and puts back: the package-folder value,
// the simulated Windows version, and files in a scratch package folder.
#pragma once

#include "common/WindowsVersion.h"

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
// A registry string value of HKLM, or "<missing>".
std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value);
bool MachineKeyExists(const wchar_t* key);
std::wstring Widen(const std::string& text);
