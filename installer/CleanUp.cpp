// The assistant deletes these files itself rather than through the command interpreter: the
// interpreter expands whatever stands between percent signs in the folder's name (a folder named
// with "%OS%" in it would send the deletion elsewhere), and the run has to know whether the files
// went. It wrote the certificate files itself, and an uninstall runs with the rights the driver
// package's removal needs, so nothing here needs a tool started elevated.
#include "CleanUp.h"

#include "FinishingSteps.h"
#include "InstallerRun.h"

#include "common/UniqueResource.h"

namespace {

constexpr DWORD kToolFinishMs = 2000;

// Deletes the files of `folder` whose names match `pattern` (wildcards as the command
// interpreter's del takes them); false when one of them stays.
bool deleteMatching(const std::wstring& folder, const wchar_t* pattern) {
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((folder + pattern).c_str(), &found));
    if (!search)
        return true; // nothing matches, or no such folder
    bool allGone = true;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        if (!DeleteFileW((folder + found.cFileName).c_str()))
            allGone = false;
    } while (FindNextFileW(search.get(), &found));
    return allGone;
}

} // namespace

void RemoveCertificateFiles(InstallerRun& run) {
    // A tool that was started through a handler nobody could wait on gets its moment to finish.
    run.shell.pause(kToolFinishMs);
    bool allGone = true;
    for (const wchar_t* name : {kCertificateTool, kCertificateFile})
        allGone = deleteMatching(run.packageFolder, name) && allGone;
    if (!allGone)
        run.fail(kFailedCleanUp);
}

void CleanDriverFolder(InstallerRun& run) {
    const std::wstring driverFolder = run.packageFile(L"Driver\\");
    bool allGone = true;
    for (const wchar_t* pattern : {L"*.pnf", L"Inf*.*"})
        allGone = deleteMatching(driverFolder, pattern) && allGone;
    if (!allGone)
        run.fail(kFailedCleanUp);
}
