// The host's commands; each returns the process exit code (ExitCodes.h).
#pragma once

#include "CommandLine.h"

namespace asiohost {

int runList(const HostOptions& options);
int runInfo(const HostOptions& options);
int runProbe(const HostOptions& options);
int runSoak(const HostOptions& options);

} // namespace asiohost
