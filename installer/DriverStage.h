// The kernel driver package: search path, signing policy, device removal, INF pre-install and
// re-enumeration; and the clean-up of the package's Driver folder after an uninstall.
#pragma once

struct InstallerRun;

void RunDriverStage(InstallerRun& run);
// Deletes what Windows generated in the package's Driver folder.
void CleanDriverFolder(InstallerRun& run);
