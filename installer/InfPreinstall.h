// The package's INF pre-installed: the files of its install section copied, and an OEM copy of
// the INF kept by Windows, so that the device installs from it when it comes.
#pragma once

#include "StagedPackage.h"

struct InstallerRun;

// Whether the OEM copy was made. `staged` gets its name and the files the copy created that were
// not there before.
bool PreinstallInf(InstallerRun& run, StagedPackage& staged);
