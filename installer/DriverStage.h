// The kernel driver package: search path, signing policy, device removal, INF pre-install and
// re-enumeration.
#pragma once

struct InstallerRun;

void RunDriverStage(InstallerRun& run);
