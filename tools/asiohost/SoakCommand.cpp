// soak: many complete sessions in one process, each with parameters drawn from the seed, as
// a host that opens stream after stream meets the driver. One line per failed session, with
// what replays it alone, and a summary.
#include "Commands.h"
#include "CrashGuard.h"
#include "DriverConnection.h"
#include "DriverRegistry.h"
#include "ExitCodes.h"
#include "SampleWidthRequest.h"
#include "SoakPlan.h"
#include "SoakSession.h"
#include "common/UniqueResource.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <memory>

namespace asiohost {

namespace {

// No session takes this long, however slow its host style: the driver hangs.
constexpr DWORD kSessionDeadlineMs = 30000;
constexpr int64_t kProgressEvery = 500;

std::string replayText(uint64_t seed, int64_t session) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "replay: QvK9AsioHost soak --seed %" PRIu64 " --first %" PRId64 " --sessions 1",
                  seed, session);
    return text;
}

// Ends the process with a line of its own when a session stops making progress: a hung driver
// call cannot be taken back from inside the host.
class SessionWatchdog {
public:
    SessionWatchdog() : wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        if (wake_)
            thread_.reset(CreateThread(nullptr, 0, &SessionWatchdog::main, this, 0, nullptr));
    }
    ~SessionWatchdog() {
        quit_.store(true);
        SetEvent(wake_.get());
        if (thread_)
            WaitForSingleObject(thread_.get(), INFINITE);
    }
    SessionWatchdog(const SessionWatchdog&) = delete;
    SessionWatchdog& operator=(const SessionWatchdog&) = delete;

    void arm(uint64_t seed, int64_t session) {
        seed_.store(seed);
        session_.store(session);
        startedAt_.store(GetTickCount());
        armed_.store(true);
    }
    void disarm() { armed_.store(false); }

private:
    static DWORD WINAPI main(void* param) {
        auto* self = static_cast<SessionWatchdog*>(param);
        while (!self->quit_.load()) {
            WaitForSingleObject(self->wake_.get(), 500);
            if (self->armed_.load() &&
                GetTickCount() - self->startedAt_.load() > kSessionDeadlineMs) {
                const char* call = currentDriverCall();
                std::printf("FAIL session %" PRId64 " (seed %" PRIu64
                            "): hang: no progress for %lu s%s%s -- %s\n",
                            self->session_.load(), self->seed_.load(),
                            static_cast<unsigned long>(kSessionDeadlineMs / 1000),
                            call != nullptr ? ", inside the driver's " : "",
                            call != nullptr ? call : "",
                            replayText(self->seed_.load(), self->session_.load()).c_str());
                std::fflush(stdout);
                ExitProcess(kExitSoakHung);
            }
        }
        return 0;
    }

    UniqueHandle wake_;
    UniqueHandle thread_;
    std::atomic<bool> quit_{false}, armed_{false};
    std::atomic<uint64_t> seed_{0};
    std::atomic<int64_t> session_{0};
    std::atomic<DWORD> startedAt_{0};
};

struct Tally {
    int64_t sessions = 0;
    int64_t failed = 0;
    int64_t byStyle[kHostStyleCount] = {};
    int64_t switches = 0;
    int64_t loopbackChecked = 0;
    int64_t damagedSignals = 0;
    int64_t lostFrames = 0;
    int64_t readerSessions = 0;
    int64_t readTimeouts = 0;
    double longestInputGapMs = 0;
    int64_t longestGapSession = -1;
    int64_t longestGapSwitch = 0;

    void add(const SessionPlan& plan, const SessionOutcome& o) {
        ++sessions;
        ++byStyle[static_cast<int>(plan.style)];
        switches += o.switches;
        if (!o.failure.empty())
            ++failed;
        if (o.loopbackChecked) {
            ++loopbackChecked;
            lostFrames += o.lostFrames;
            damagedSignals += !o.dropout.empty();
        }
        if (o.readerRan) {
            ++readerSessions;
            readTimeouts += o.readTimeouts;
        }
        if (o.longestInputGapMs > longestInputGapMs) {
            longestInputGapMs = o.longestInputGapMs;
            longestGapSession = plan.session;
            longestGapSwitch = o.longestGapSwitch;
        }
    }
};

void printSummary(const HostOptions& options, const Tally& t, double seconds) {
    std::printf("soak: %" PRId64 " sessions (seed %" PRIu64 ", from %" PRId64 ") in %.0f s: "
                "%" PRId64 " failed, 0 crashed, 0 hung\n",
                t.sessions, options.seed, options.firstSession, seconds, t.failed);
    std::printf("  host styles:");
    for (int s = 0; s < kHostStyleCount; ++s)
        std::printf("%s %s %" PRId64, s == 0 ? "" : ",", styleName(static_cast<HostStyle>(s)),
                    t.byStyle[s]);
    std::printf("\n  buffer switches: %" PRId64 "\n", t.switches);
    std::printf("  loopback signal checked in %" PRId64 " sessions: %" PRId64
                " came back damaged, %" PRId64 " frames lost\n",
                t.loopbackChecked, t.damagedSignals, t.lostFrames);
    std::printf("  blocking reader: %" PRId64 " sessions, %" PRId64 " reads gave up\n",
                t.readerSessions, t.readTimeouts);
    if (t.longestGapSession >= 0)
        std::printf("  longest wait between two buffer switches beyond one buffer: %.1f ms "
                    "(session %" PRId64 ", before switch %" PRId64 ")\n",
                    t.longestInputGapMs, t.longestGapSession, t.longestGapSwitch);
}

} // namespace

int runSoak(const HostOptions& options) {
    const DriverLookup lookup = findDriver(options.driverName);
    if (!lookup.found) {
        std::printf("error: %s\n", lookup.error.c_str());
        return kExitDriverFailure;
    }
    // Declared first so that the panel's width choice is put back after the last session.
    SampleWidthRequest width;
    // COM stays up between sessions, as in a host that opens stream after stream; a session
    // drawn to end COM with itself lets the driver's module go, as a host that ends COM does.
    auto kept = std::make_unique<ComApartment>();
    SessionWatchdog watchdog;
    Tally tally;
    const DWORD begin = GetTickCount();
    std::printf("soak: %" PRId64 " sessions through \"%s\", seed %" PRIu64 ", from session %" PRId64
                "\n",
                options.sessions, options.driverName.c_str(), options.seed, options.firstSession);

    for (int64_t i = options.firstSession; i < options.firstSession + options.sessions; ++i) {
        const SessionPlan plan = planSession(options.seed, i);
        std::string error;
        if (!width.apply(plan.bits, error)) {
            std::printf("error: cannot ask for %d-bit samples: %s\n", plan.bits, error.c_str());
            return kExitDriverFailure;
        }
        char context[256];
        std::snprintf(context, sizeof context,
                      "FAIL session %" PRId64 " (seed %" PRIu64 "): the host crashed [%s] -- %s", i,
                      options.seed, describePlan(plan).c_str(),
                      replayText(options.seed, i).c_str());
        setCrashContext(context);
        if (plan.freshApartment)
            kept.reset();
        watchdog.arm(options.seed, i);
        const DWORD sessionBegin = GetTickCount();
        SessionOutcome outcome = runSoakSession(plan, lookup.clsid, options.nullWindow);
        if (outcome.failure.empty() && !options.dropoutsAsFigures)
            outcome.failure = outcome.dropout;
        watchdog.disarm();
        if (!kept)
            kept = std::make_unique<ComApartment>();
        tally.add(plan, outcome);
        if (options.verbose)
            std::printf("session %" PRId64 ": %s, %ld frames, %" PRId64 " switches, %lu ms%s\n", i,
                        describePlan(plan).c_str(), outcome.frames, outcome.switches,
                        static_cast<unsigned long>(GetTickCount() - sessionBegin),
                        outcome.failure.empty() ? "" : ", failed");
        if (!outcome.failure.empty())
            std::printf("FAIL session %" PRId64 " (seed %" PRIu64 "): %s [%s, %ld frames] -- %s\n",
                        i, options.seed, outcome.failure.c_str(), describePlan(plan).c_str(),
                        outcome.frames, replayText(options.seed, i).c_str());
        if (tally.sessions % kProgressEvery == 0)
            std::printf("  ... %" PRId64 " sessions, %" PRId64 " failed\n", tally.sessions,
                        tally.failed);
    }
    setCrashContext(nullptr);
    printSummary(options, tally, (GetTickCount() - begin) / 1000.0);
    return tally.failed == 0 ? kExitOk : kExitSoakFailed;
}

} // namespace asiohost
