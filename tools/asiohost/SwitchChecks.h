// What the buffer-switch records say about the driver's timing and bookkeeping: the period
// between switches, the host's time inside them, and whether the half index alternates and the
// sample position advances by one buffer per switch.
#pragma once

#include <cstdint>
#include <vector>

namespace asiohost {

struct SwitchRecord {
    int64_t entryTicks; // QueryPerformanceCounter at callback entry
    int32_t busyTicks;  // time the host spent inside the callback
    int32_t half;
    uint64_t position;  // the driver's sample position for this switch, when known
    uint32_t timeFlags; // of the time record, for bufferSwitchTimeInfo
    bool positionKnown;
    bool viaTimeInfo;
};

struct SwitchChecks {
    std::vector<double> periodsMs;       // between consecutive switch entries
    std::vector<double> busyMs;          // inside each callback
    int64_t halfRepeats = 0;             // a switch with the same half as the one before it
    int64_t positionSteps = 0;           // consecutive pairs with known positions
    int64_t positionStepErrors = 0;      // of those, steps other than one buffer
    int64_t firstBadStepAt = -1;         // switch index of the first wrong step
    int64_t firstBadStep = 0;            // and its size
    int64_t timeInfoWithoutValidity = 0; // time records lacking system time or position validity
    int64_t rateChangedFlags = 0;        // time records flagged "sample rate changed"
};

SwitchChecks checkSwitches(const std::vector<SwitchRecord>& records, long frames,
                           int64_t qpcFrequency);

} // namespace asiohost
