// The maker's certificate goes into the local machine's root and trusted-publisher stores through
// our certificate tool; both files are written from the installer's own resources.
#include "AnsiText.h"
#include "FinishingSteps.h"
#include "InstallerResources.h"
#include "InstallerRun.h"
#include "LaunchTool.h"

#include "common/UniqueResource.h"

namespace {

constexpr DWORD kToolSpacingMs = 2000;

// Writes resource `id` of the running program to `path`; false when nothing was written whole.
bool writeResource(int id, const std::wstring& path) {
    std::string ansiPath;
    if (!ToAnsi(path, kAnsiCommandBytes, ansiPath))
        return false;
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const void* image = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = found != nullptr ? SizeofResource(nullptr, found) : 0;
    if (image == nullptr || size == 0)
        return false;
    UniqueFile file(std::fopen(ansiPath.c_str(), "wb"));
    if (!file)
        return false;
    return std::fwrite(image, 1, size, file.get()) == size;
}

void runTool(InstallerRun& run, const wchar_t* store) {
    const std::wstring tool = run.packageFile(kCertificateTool);
    const std::wstring parameters =
        L"-add \"" + run.packageFile(kCertificateFile) + L"\" -s -r localmachine " + store;
    LaunchTool(run.shell, run.versionCode, tool.c_str(), parameters.c_str());
    run.shell.pause(kToolSpacingMs);
}

void deleteFile(InstallerRun& run, const wchar_t* name) {
    const std::wstring parameters = L" /C del \"" + run.packageFile(name) + L"\"";
    LaunchTool(run.shell, run.versionCode, L"CMD.exe", parameters.c_str());
}

} // namespace

void InstallCertificates(InstallerRun& run) {
    writeResource(IDR_CERTIFICATE_TOOL, run.packageFile(kCertificateTool));
    if (writeResource(IDR_CERTIFICATE, run.packageFile(kCertificateFile)))
        run.shell.pause(kToolSpacingMs);
    // Both runs go ahead even when a file could not be written: an older copy may be there.
    runTool(run, L"root");
    runTool(run, L"trustedpublisher");
}

void RemoveCertificateFiles(InstallerRun& run) {
    run.shell.pause(kToolSpacingMs);
    deleteFile(run, kCertificateTool);
    deleteFile(run, kCertificateFile);
}
