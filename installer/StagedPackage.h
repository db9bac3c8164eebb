// What the driver package put into Windows' own folders: the OEM copies of its INF file and the
// files the pre-install created there. Kept beside the package folder value, so that the
// uninstall takes away exactly these, and nothing that was there before the install.
#pragma once

#include <string>
#include <vector>

constexpr wchar_t kStagedInfsValue[] = L"QvK9StagedInfs";
constexpr wchar_t kCreatedFilesValue[] = L"QvK9CreatedFiles";

struct StagedPackage {
    std::vector<std::wstring> infNames;     // names in the Windows INF folder, e.g. oem12.inf
    std::vector<std::wstring> createdFiles; // full paths
};

// Adds `name` unless `names` holds it already in any letter case.
void AddOnce(std::vector<std::wstring>& names, const std::wstring& name);

// What earlier installs recorded; empty when nothing was.
StagedPackage ReadStagedPackage();
// Adds `added` to the record; false when the package key cannot take it.
bool RecordStagedPackage(const StagedPackage& added);
// Deletes the record after the uninstall took its contents away.
void ForgetStagedPackage();

// SetupUninstallOEMInf with SUOI_FORCEDELETE: the copy and its precompiled form go, also while a
// device still names it.
bool UninstallOemInf(const std::wstring& name);
// Deletes a file the install created; one still in use goes at the next restart.
bool DeleteCreatedFile(const std::wstring& path);
