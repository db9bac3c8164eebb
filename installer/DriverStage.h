// The kernel driver package: search path, signing policy, device removal, INF pre-install and
// re-enumeration.
#pragma once

struct InstallerRun;

// Whether the stage did its whole job: the search path as asked, every matching device and the
// package's INF copies gone, the pre-install made and recorded.
bool RunDriverStage(InstallerRun& run);
