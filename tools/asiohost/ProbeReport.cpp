#include "ProbeReport.h"

#include "AsioNames.h"
#include "ExitCodes.h"
#include "SwitchChecks.h"
#include "TimingStats.h"

#include <cstdio>
#include <cstdlib>

namespace asiohost {

namespace {

double framesToMs(int64_t frames, double rate) {
    return rate > 0 ? static_cast<double>(frames) * 1000.0 / rate : 0;
}

const char* jumpWords(JumpKind kind) {
    switch (kind) {
    case JumpKind::Ahead:
        return "jumped ahead";
    case JumpKind::Resume:
        return "resumed at the newest frame";
    case JumpKind::Repeat:
        return "repeated earlier frames";
    case JumpKind::OutOfOrder:
        return "late frames arrived out of order";
    }
    return "";
}

// Stops that end the run before there is anything to measure.
int reportSetupFailure(const ProbeFacts& facts, const ProbeRun& run) {
    if (!run.buffersCreated) {
        std::printf("error: createBuffers of %ld frames failed: %s\n", facts.frames,
                    errorName(run.createResult).c_str());
        if (facts.sizesKnown)
            std::printf("       the driver offers %ld to %ld frames, granularity %ld\n",
                        facts.minFrames, facts.maxFrames, facts.granularity);
        return kExitDriverFailure;
    }
    if (run.nullBuffer) {
        std::printf("error: createBuffers succeeded but handed out a null buffer\n");
        return kExitDriverFailure;
    }
    if (!run.started) {
        std::printf("error: the stream could not start: start returned %s\n",
                    errorName(run.startResult).c_str());
        return kExitDriverFailure;
    }
    if (run.switches == 0) {
        std::printf("error: the stream started but the driver never called the buffer switch "
                    "(waited %.1f s)\n",
                    run.elapsedSeconds);
        return kExitDriverFailure;
    }
    return kExitOk;
}

void printLatency(const ProbeRun& run) {
    const SignalSummary& s = run.signal;
    std::printf("\nRound trip\n");
    std::printf("  measured     %lld frames (%.2f ms): output frame %lld came back at input "
                "position %lld\n",
                static_cast<long long>(s.firstLatency), framesToMs(s.firstLatency, run.rate),
                static_cast<long long>(s.firstFrame),
                static_cast<long long>(s.arrivalInputPosition));
    if (run.latenciesKnown) {
        const long reported = run.inLatency + run.outLatency;
        const long long difference = static_cast<long long>(s.firstLatency) - reported;
        std::printf("  reported     %ld frames (%.2f ms): input %ld + output %ld\n", reported,
                    framesToMs(reported, run.rate), run.inLatency, run.outLatency);
        std::printf("  difference   %+lld frames (%.2f ms)%s\n", difference,
                    framesToMs(difference, run.rate),
                    difference > 0   ? ": the driver reports less latency than the stream has"
                    : difference < 0 ? ": the driver reports more latency than the stream has"
                                     : "");
    } else {
        std::printf("  reported     getLatencies failed\n");
    }
    if (s.minLatency == s.maxLatency)
        std::printf("  steady       the latency stayed at %lld frames\n",
                    static_cast<long long>(s.minLatency));
    else
        std::printf("  unsteady     the latency moved between %lld and %lld frames\n",
                    static_cast<long long>(s.minLatency), static_cast<long long>(s.maxLatency));
}

void printSignal(const ProbeRun& run, long frames) {
    const SignalSummary& s = run.signal;
    std::printf("\nSignal\n");
    std::printf("  checked      %lld frames after arrival (%lld before it, %lld of them not "
                "silent)\n",
                static_cast<long long>(s.validFrames + s.silentFrames + s.corruptFrames),
                static_cast<long long>(s.framesBeforeArrival),
                static_cast<long long>(s.noiseBeforeArrival));
    if (!s.faultSeen()) {
        std::printf("  dropouts     none: no lost, repeated or out-of-order blocks, no silence, "
                    "no damaged frames\n");
        return;
    }
    if (s.lostFrames > 0)
        std::printf(
            "  lost         %lld frames never came back intact (%.1f blocks of %ld) in %lld "
            "place%s%s\n",
            static_cast<long long>(s.lostFrames),
            static_cast<double>(s.lostFrames) / static_cast<double>(frames), frames,
            static_cast<long long>(s.lostGaps), s.lostGaps == 1 ? "" : "s",
            s.firstFrame > 0 ? " (the first frames the host wrote never came back)" : "");
    if (s.gapListFull)
        std::printf("  lost         too many separate gaps to follow: the count above is a "
                    "lower bound\n");
    std::printf("  jumps        %lld ahead, %lld repeats, %lld out of order, %lld resumes\n",
                static_cast<long long>(s.jumpCount(JumpKind::Ahead)),
                static_cast<long long>(s.jumpCount(JumpKind::Repeat)),
                static_cast<long long>(s.jumpCount(JumpKind::OutOfOrder)),
                static_cast<long long>(s.jumpCount(JumpKind::Resume)));
    for (int i = 0; i < s.jumpLogCount; ++i) {
        const Jump& j = s.jumpLog[i];
        std::printf("    at input %lld: expected output frame %lld, got %lld (%s, %+lld)\n",
                    static_cast<long long>(j.inputPosition),
                    static_cast<long long>(j.expectedFrame), static_cast<long long>(j.foundFrame),
                    jumpWords(j.kind), static_cast<long long>(j.foundFrame - j.expectedFrame));
    }
    const int64_t totalJumps = s.jumps[0] + s.jumps[1] + s.jumps[2] + s.jumps[3];
    if (totalJumps > s.jumpLogCount)
        std::printf("    ... and %lld more\n", static_cast<long long>(totalJumps - s.jumpLogCount));
    if (s.silentFrames > 0)
        std::printf("  silence      %lld frames in %lld stretch%s after the signal had arrived\n",
                    static_cast<long long>(s.silentFrames), static_cast<long long>(s.silentRuns),
                    s.silentRuns == 1 ? "" : "es");
    if (s.corruptFrames > 0)
        std::printf("  damaged      %lld frames came back neither silent nor as sent\n",
                    static_cast<long long>(s.corruptFrames));
    if (s.swappedFrames > 0)
        std::printf("  swapped      %lld frames came back with left and right exchanged\n",
                    static_cast<long long>(s.swappedFrames));
    if (s.replacedFrames > 0)
        std::printf("               %lld silent or damaged frames stood in the place of signal "
                    "frames (counted as lost)\n",
                    static_cast<long long>(s.replacedFrames));
}

void printCpu(const ProbeRun& run) {
    if (!run.cpuKnown) {
        std::printf("  driver CPU   unknown: the streaming thread's CPU time could not be read\n");
        return;
    }
    const double seconds = static_cast<double>(run.cpuTime) * 1e-7;
    const double hostSeconds =
        static_cast<double>(run.cpuWindowHostTicks) / static_cast<double>(run.qpcFrequency);
    const double switches =
        static_cast<double>(run.cpuWindowSwitches > 0 ? run.cpuWindowSwitches : 1);
    const double perSwitchMs = (seconds - hostSeconds) * 1000.0 / switches;
    std::printf("  driver CPU   %.4f ms per switch, its polling included: the streaming thread "
                "used %.1f ms over %lld switches, %.1f ms of it inside the probe's callbacks\n",
                perSwitchMs, seconds * 1000.0, static_cast<long long>(run.cpuWindowSwitches),
                hostSeconds * 1000.0);
    if (perSwitchMs < 0)
        std::printf("               (negative: the callbacks' wall time includes time the thread "
                    "was not running, so the driver's share is below what this can show)\n");
    const double stepMs = static_cast<double>(run.cpuClockStep) * 1e-4;
    if (run.cpuClockStep == 0) {
        std::printf("               coarse: the thread-time clock did not move during a 300 ms "
                    "busy loop here, so the figure may mean little\n");
    } else if (seconds * 1000.0 < 20 * stepMs) {
        std::printf("               coarse: the thread-time clock moves in %.3f ms steps here and "
                    "the thread used only %.1f ms in all; take it as +-%.4f ms per switch\n",
                    stepMs, seconds * 1000.0, 2 * stepMs / switches);
    } else {
        std::printf("               the thread-time clock moves in %.3f ms steps: good to about "
                    "+-%.4f ms per switch\n",
                    stepMs, 2 * stepMs / switches);
    }
}

// The driver broke a rule hosts rely on.
bool rulesBroken(const ProbeFacts& facts, const ProbeRun& run, const SwitchChecks& c) {
    return c.halfRepeats > 0 || run.badHalfIndex > 0 || c.positionStepErrors > 0 ||
           run.callbacksAfterStop > 0 || run.timeInfoSwitchesWithout > 0 ||
           (facts.timeInfo && run.nullTimeRecords > 0);
}

void printSwitches(const ProbeRun& run, const ProbeFacts& facts, const SwitchChecks& c) {
    const double nominalMs = run.rate > 0 ? facts.frames * 1000.0 / run.rate : 0;
    std::printf("\nBuffer switches\n");
    const Distribution period = describe(c.periodsMs);
    if (period.count > 0)
        std::printf("  period       min %.3f, median %.3f, 99%% %.3f, max %.3f ms (nominal %.3f "
                    "ms = %ld / %.0f Hz)\n",
                    period.min, period.median, period.p99, period.max, nominalMs, facts.frames,
                    run.rate);
    if (run.switches > static_cast<int64_t>(run.records.size()))
        std::printf("               timed over the first %zu of %lld switches\n",
                    run.records.size(), static_cast<long long>(run.switches));
    if (run.elapsedSeconds > 0 && nominalMs > 0)
        std::printf("  count        %lld switches in %.2f s (%.1f expected)\n",
                    static_cast<long long>(run.switches), run.elapsedSeconds,
                    run.elapsedSeconds * 1000.0 / nominalMs);
    if (c.halfRepeats > 0 || run.badHalfIndex > 0) {
        std::printf("  half index   FAULT: %lld switches repeated the previous half, %lld gave an "
                    "index other than 0 or 1\n",
                    static_cast<long long>(c.halfRepeats),
                    static_cast<long long>(run.badHalfIndex));
    } else {
        std::printf("  half index   alternated 0, 1, 0, ... as it should\n");
    }
    if (c.positionSteps == 0) {
        std::printf("  position     not reported by the driver\n");
    } else if (c.positionStepErrors > 0) {
        std::printf("  position     FAULT: %lld of %lld steps were not %ld frames (first at switch "
                    "%lld: %+lld)\n",
                    static_cast<long long>(c.positionStepErrors),
                    static_cast<long long>(c.positionSteps), facts.frames,
                    static_cast<long long>(c.firstBadStepAt),
                    static_cast<long long>(c.firstBadStep));
    } else {
        std::printf("  position     advanced by %ld frames at every switch (%s)\n", facts.frames,
                    facts.timeInfo ? "time record" : "getSamplePosition");
    }
    if (facts.timeInfo && c.timeInfoWithoutValidity > 0)
        std::printf("  time info    %lld time records lacked the system-time or position-valid "
                    "flag\n",
                    static_cast<long long>(c.timeInfoWithoutValidity));
    if (c.rateChangedFlags > 0)
        std::printf("  time info    %lld time records flagged a sample-rate change\n",
                    static_cast<long long>(c.rateChangedFlags));

    const Distribution busy = describe(c.busyMs);
    if (busy.count > 0)
        std::printf("  host time    mean %.4f, 99%% %.4f, max %.4f ms of wall time inside the "
                    "probe's callback\n",
                    busy.mean, busy.p99, busy.max);
    printCpu(run);

    if (run.callbacksAfterStop > 0) {
        std::printf("  after stop   FAULT: %lld buffer switches arrived after stop had returned\n",
                    static_cast<long long>(run.callbacksAfterStop));
    }
    if (run.timeInfoSwitchesWithout > 0) {
        std::printf("  callbacks    FAULT: bufferSwitchTimeInfo was called %lld times although the "
                    "host declined time information\n",
                    static_cast<long long>(run.timeInfoSwitchesWithout));
    }
    if (facts.timeInfo && run.nullTimeRecords > 0) {
        std::printf("  callbacks    FAULT: %lld calls of bufferSwitchTimeInfo carried no time "
                    "record\n",
                    static_cast<long long>(run.nullTimeRecords));
    }
    if (run.plainSwitchesWithTimeInfo > 0)
        std::printf("  callbacks    note: the driver used the plain bufferSwitch %lld times "
                    "although time information was offered\n",
                    static_cast<long long>(run.plainSwitchesWithTimeInfo));
    if (run.switchesFromOtherThreads > 0)
        std::printf("  callbacks    note: %lld switches came from another thread than the first\n",
                    static_cast<long long>(run.switchesFromOtherThreads));
}

void printMessages(const ProbeRun& run) {
    const MessageLog& m = run.messages;
    std::printf("\nMessages from the driver\n");
    std::printf("  time info    asked %ld time%s whether the host takes time information\n",
                m.timeInfoQueries, m.timeInfoQueries == 1 ? "" : "s");
    if (m.resetRequests + m.resyncRequests + m.latencyChanges + m.bufferSizeChanges +
            m.rateChanges + m.otherMessages ==
        0) {
        std::printf("  others       none: no reset request, no rate change\n");
        return;
    }
    if (m.resetRequests > 0)
        std::printf("  reset        %ld reset request%s (a host would rebuild its buffers; the "
                    "probe streamed on)\n",
                    m.resetRequests, m.resetRequests == 1 ? "" : "s");
    if (m.rateChanges > 0)
        std::printf("  rate         %ld sample-rate change%s, last to %.0f Hz\n", m.rateChanges,
                    m.rateChanges == 1 ? "" : "s", m.lastRate);
    if (m.resyncRequests > 0)
        std::printf("  resync       %ld resync request%s\n", m.resyncRequests,
                    m.resyncRequests == 1 ? "" : "s");
    if (m.latencyChanges > 0)
        std::printf("  latency      %ld latency change notice%s\n", m.latencyChanges,
                    m.latencyChanges == 1 ? "" : "s");
    if (m.bufferSizeChanges > 0)
        std::printf("  buffer size  %ld buffer-size change request%s (declined)\n",
                    m.bufferSizeChanges, m.bufferSizeChanges == 1 ? "" : "s");
    if (m.otherMessages > 0)
        std::printf("  other        %ld unknown message%s (last %s)\n", m.otherMessages,
                    m.otherMessages == 1 ? "" : "s", messageName(m.lastOtherSelector).c_str());
}

} // namespace

int probeVerdict(const ProbeFacts& facts, const ProbeRun& run) {
    if (!run.buffersCreated || run.nullBuffer || !run.started || run.switches == 0)
        return kExitDriverFailure;
    if (!facts.signalPossible || !run.signal.arrived)
        return kExitNoSignal;
    if (rulesBroken(facts, run, checkSwitches(run.records, facts.frames, run.qpcFrequency)))
        return kExitRuleBroken;
    if (run.signal.faultSeen())
        return kExitDamaged;
    return kExitOk;
}

int printProbeReport(const ProbeFacts& facts, const ProbeRun& run) {
    if (const int failure = reportSetupFailure(facts, run); failure != kExitOk)
        return failure;

    std::printf("\nProbe of \"%s\": %ld frames at %.0f Hz, %s, %s\n", facts.driverName.c_str(),
                facts.frames, run.rate, facts.sampleTypes.c_str(),
                facts.timeInfo ? "bufferSwitchTimeInfo" : "plain bufferSwitch");
    std::printf("Streamed %.2f s%s: %lld buffer switches\n", run.elapsedSeconds,
                run.interrupted ? " (interrupted)" : "", static_cast<long long>(run.switches));
    if (facts.requestedRate > 0 && run.rate != facts.requestedRate)
        std::printf("note: %.0f Hz was set, but the driver runs at %.0f Hz\n", facts.requestedRate,
                    run.rate);
    if (run.stopResult != ASE_OK || run.disposeResult != ASE_OK)
        std::printf("note: stop returned %s, disposeBuffers returned %s\n",
                    errorName(run.stopResult).c_str(), errorName(run.disposeResult).c_str());

    if (facts.signalPossible && run.signal.arrived) {
        printLatency(run);
        printSignal(run, facts.frames);
    }
    printSwitches(run, facts, checkSwitches(run.records, facts.frames, run.qpcFrequency));
    printMessages(run);

    std::printf("\n");
    const int verdict = probeVerdict(facts, run);
    switch (verdict) {
    case kExitNoSignal:
        if (!facts.signalPossible) {
            std::printf("Result: NO SIGNAL CHECK - the driver needs two inputs and two outputs "
                        "for the loopback signal.\n");
            break;
        }
        std::printf("Result: NO SIGNAL - the test signal never came back on the inputs");
        if (run.signal.swappedFrames > 0)
            std::printf(" (it came back with left and right exchanged)");
        else if (run.signal.noiseBeforeArrival > 0)
            std::printf(" (%lld frames came back that were neither silent nor the signal)",
                        static_cast<long long>(run.signal.noiseBeforeArrival));
        std::printf(".\n");
        break;
    case kExitRuleBroken:
        std::printf("Result: FAULTS - the driver broke a rule hosts rely on (see FAULT above)%s.\n",
                    run.signal.faultSeen() ? ", and the signal came back with dropouts or damage"
                                           : "");
        break;
    case kExitDamaged:
        std::printf("Result: DROPOUTS - the signal came back, but not intact (see Signal "
                    "above).\n");
        break;
    default:
        std::printf("Result: OK - every frame made the round trip in order, %lld frames (%.2f ms) "
                    "late.\n",
                    static_cast<long long>(run.signal.firstLatency),
                    framesToMs(run.signal.firstLatency, run.rate));
        break;
    }
    return verdict;
}

} // namespace asiohost
