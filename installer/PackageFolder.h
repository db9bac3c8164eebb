// The folder the package's setup program installed into, as it left it in the registry.
#pragma once

#include <string>

constexpr wchar_t kPackageKey[] = L"Software\\Calmora\\Quenvora-K9 USB Audio Software Package";
constexpr wchar_t kPackageFolderValue[] = L"QvK9audioCPLAppPath";

// The folder, always with its trailing backslash (added when the value lacks it), its
// environment variables expanded when the value is of the expandable type. Empty when the value
// is missing, not a string, longer than 1,024 bytes or not a full path.
std::wstring ReadPackageFolder();
