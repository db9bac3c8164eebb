// Prints what a probe run found, in figures and plain words, and turns it into the exit code.
#pragma once

#include "ProbeSession.h"

#include <string>

namespace asiohost {

struct ProbeFacts {
    std::string driverName;
    long frames = 0;
    double requestedRate = 0; // 0: none was asked for
    bool sizesKnown = false;  // what getBufferSize offered, for a refused size
    long minFrames = 0, maxFrames = 0, granularity = 0;
    std::string sampleTypes; // "Int16LSB", or a list when the channels differ
    bool timeInfo = true;
    bool signalPossible = false; // two inputs and two outputs to carry and find the signal
};

// The exit code a run earns (ExitCodes.h).
int probeVerdict(const ProbeFacts& facts, const ProbeRun& run);
// Prints the report and returns probeVerdict.
int printProbeReport(const ProbeFacts& facts, const ProbeRun& run);

} // namespace asiohost
