// One complete soak session, as a host runs it from loading the driver to releasing it: init,
// the queries, every rate, createBuffers (fitted after a refusal, as hosts fit it), start, a
// short stream in the plan's host style, stop, disposeBuffers, Release. Everything the driver
// does wrong on the way is reported as the session's failure.
#pragma once

#include "SoakPlan.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace asiohost {

struct SessionOutcome {
    std::string failure; // empty when the session went as a host expects
    std::string dropout; // what the loopback signal lost, when that alone went wrong
    long frames = 0;     // the buffer size it streamed with, 0 if it never got that far
    int64_t switches = 0;
    bool loopbackChecked = false;
    int64_t lostFrames = 0;
    // The blocking reader: reads that gave up.
    int64_t readTimeouts = 0;
    // How much longer than one buffer the longest wait between two switches was, in the host
    // styles that never hold a callback themselves.
    double longestInputGapMs = 0;
    int64_t longestGapSwitch = 0; // the switch that came after it
    bool readerRan = false;
};

SessionOutcome runSoakSession(const SessionPlan& plan, const CLSID& clsid, bool nullWindow);

} // namespace asiohost
