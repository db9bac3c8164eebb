// What the host's exit code tells the script that ran it.
#pragma once

namespace asiohost {

enum ExitCode : int {
    kExitOk = 0,
    kExitDriverFailure = 1, // not installed, not created, init failed, refused a call, no stream
    kExitUsage = 2,
    kExitNoSignal = 3,   // the stream ran but the test signal never came back
    kExitDamaged = 4,    // the signal came back with dropouts, repeats, silence or damage
    kExitRuleBroken = 5, // the driver broke a rule hosts rely on (callbacks, positions)
    kExitSoakFailed = 6, // at least one soak session failed
    kExitSoakHung = 7,   // a soak session made no progress: the run was ended
};

} // namespace asiohost
