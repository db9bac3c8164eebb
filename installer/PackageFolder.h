// The folder the package's setup program installed into, as it left it in the registry.
#pragma once

#include <string>

constexpr wchar_t kPackageKey[] = L"Software\\Calmora\\Quenvora-K9 USB Audio Software Package";
constexpr wchar_t kPackageFolderValue[] = L"QvK9audioCPLAppPath";

// The folder with its trailing backslash; empty when the value is missing, not a string or
// longer than 1,024 bytes.
std::wstring ReadPackageFolder();
