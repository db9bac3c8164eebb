#include "SwitchChecks.h"

#include "asio/AsioInterface.h"

namespace asiohost {

SwitchChecks checkSwitches(const std::vector<SwitchRecord>& records, long frames,
                           int64_t qpcFrequency) {
    SwitchChecks c;
    const double msPerTick = 1000.0 / static_cast<double>(qpcFrequency > 0 ? qpcFrequency : 1);
    c.periodsMs.reserve(records.size());
    c.busyMs.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const SwitchRecord& r = records[i];
        c.busyMs.push_back(r.busyTicks * msPerTick);
        if (r.viaTimeInfo) {
            if ((r.timeFlags & (kSystemTimeValid | kSamplePositionValid)) !=
                (kSystemTimeValid | kSamplePositionValid))
                ++c.timeInfoWithoutValidity;
            if (r.timeFlags & kSampleRateChanged)
                ++c.rateChangedFlags;
        }
        if (i == 0)
            continue;
        const SwitchRecord& before = records[i - 1];
        c.periodsMs.push_back(static_cast<double>(r.entryTicks - before.entryTicks) * msPerTick);
        if (r.half == before.half)
            ++c.halfRepeats;
        if (r.positionKnown && before.positionKnown) {
            ++c.positionSteps;
            const int64_t step = static_cast<int64_t>(r.position - before.position);
            if (step != frames) {
                if (c.positionStepErrors == 0) {
                    c.firstBadStepAt = static_cast<int64_t>(i);
                    c.firstBadStep = step;
                }
                ++c.positionStepErrors;
            }
        }
    }
    return c;
}

} // namespace asiohost
