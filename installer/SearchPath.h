// The INF search path ("DevicePath") with the package's Driver folder in it, and the signing
// policy that lets the package's driver install while it is there.
#pragma once

#include <string>

constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr wchar_t kDevicePathValue[] = L"DevicePath";
constexpr wchar_t kPoliciesKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows";
constexpr wchar_t kSigningSettingsKey[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall\\Settings";
constexpr wchar_t kAllSigningEqualValue[] = L"AllSigningEqual";

// Letters a to z in upper case, everything else as it is.
std::wstring UpperAscii(std::wstring text);
// The package folder followed by "Driver", upper case.
std::wstring DriverFolderEntry(const std::wstring& packageFolder);

// The search path with the entry put first; false (and `result` untouched) when the current
// path already holds the entry. Entries are whole folders between separators, compared without
// regard to case, as Windows compares folder names.
bool WithEntryFirst(const std::wstring& current, const std::wstring& entry, std::wstring& result);
// The search path with every occurrence of `entry` cut out together with one separator each:
// A;X;B -> A;B, X;B -> B, A;X -> A, X -> empty. False when `entry` is not in it. Other folders,
// also those that begin or end with the same text, stay as they are.
bool WithEntryCut(const std::wstring& current, const std::wstring& entry, std::wstring& result);

// Each returns whether the search path ends up as asked: the entry there (install) or gone
// (uninstall); false when the value is there but could not be read or written. A system without
// the value has nothing to edit either way.
bool AddDriverFolderToSearchPath(const std::wstring& packageFolder);
bool RemoveDriverFolderFromSearchPath(const std::wstring& packageFolder);
void SetSigningPolicy(bool installing);
