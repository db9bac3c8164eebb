#include "SoakSession.h"

#include "AsioNames.h"
#include "CrashGuard.h"
#include "DriverConnection.h"
#include "SampleTypes.h"
#include "SoakStream.h"
#include "asio/RateSet.h"
#include "common/UniqueResource.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace asiohost {

namespace {

constexpr DWORD kFirstSwitchWaitMs = 2000;
// How long the session watches for callbacks once stop (or Release) has returned.
constexpr DWORD kAfterStopWatchMs = 30;
// How long the host waits for its own callbacks to have left before it frees what they use.
constexpr DWORD kCallbackLeaveWaitMs = 8000;
// Buffers up to this long stream for the plan's time; longer ones for a few switches only, so
// that a long run spends its time on many sessions. The signal is checked only in the former.
constexpr double kLongestShortBufferMs = 12;
constexpr double kLongBufferSwitches = 2.5;
constexpr int kCheckedSwitches = 20;

std::string failed(const char* call, ASIOError result) {
    return std::string(call) + " returned " + errorName(result);
}

// The session's driver object and COM around it, released in that order on every path.
struct SessionDriver {
    ComApartment com;
    DriverRef driver;
};

bool createDriver(const CLSID& clsid, DriverRef& out, std::string& failure) {
    void* object = nullptr;
    HRESULT hr;
    {
        DriverCallScope scope("creation (CoCreateInstance)");
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid, &object);
    }
    if (FAILED(hr) || object == nullptr) {
        failure = "the driver could not be created: " + describeHresult(hr);
        return false;
    }
    out = DriverRef(static_cast<IASIO*>(object));
    return true;
}

std::string initDriver(IASIO* driver, bool nullWindow) {
    ASIOBool ok;
    {
        DriverCallScope scope("init");
        ok = driver->init(nullWindow ? nullptr : GetDesktopWindow());
    }
    if (ok != ASIOFalse)
        return {};
    char message[256] = {};
    {
        DriverCallScope scope("getErrorMessage");
        driver->getErrorMessage(message);
    }
    message[sizeof message - 1] = '\0';
    return std::string("init failed: ") + message;
}

// The queries a host makes before it builds buffers, and every rate; then the plan's rate.
std::string queryAndSetRate(IASIO* driver, const SessionPlan& plan) {
    DriverCallScope scope("queries");
    char name[128] = {};
    driver->getDriverName(name);
    driver->getDriverVersion();
    ASIOClockSource clocks[4] = {};
    long clockCount = 4;
    if (ASIOError r = driver->getClockSources(clocks, &clockCount); r != ASE_OK)
        return failed("getClockSources", r);
    for (double rate : kSupportedRates)
        if (ASIOError r = driver->canSampleRate(rate); r != ASE_OK)
            return failed("canSampleRate", r) + " for " + std::to_string(static_cast<int>(rate));
    if (ASIOError r = driver->setSampleRate(plan.rate); r != ASE_OK)
        return failed("setSampleRate", r);
    double now = 0;
    if (ASIOError r = driver->getSampleRate(&now); r != ASE_OK)
        return failed("getSampleRate", r);
    if (now != plan.rate)
        return "getSampleRate says " + std::to_string(now) + " after setSampleRate(" +
               std::to_string(plan.rate) + ")";
    return {};
}

std::string addChannels(IASIO* driver, const SessionPlan& plan, SoakStream& stream) {
    long inputs = 0, outputs = 0;
    {
        DriverCallScope scope("getChannels");
        if (ASIOError r = driver->getChannels(&inputs, &outputs); r != ASE_OK)
            return failed("getChannels", r);
    }
    if (inputs + outputs <= 0)
        return "the driver offers no channels";
    for (int pass = 0; pass < 2; ++pass) {
        const bool input = pass == 0;
        const std::vector<long> chosen = chosenChannels(
            input ? plan.inputMask : plan.outputMask, plan.loopbackPair, input ? inputs : outputs);
        for (long number : chosen) {
            ASIOChannelInfo info{};
            info.channel = number;
            info.isInput = input ? ASIOTrue : ASIOFalse;
            DriverCallScope scope("getChannelInfo");
            if (ASIOError r = driver->getChannelInfo(&info); r != ASE_OK)
                return failed("getChannelInfo", r);
            const SampleTypeRow* row = findSampleType(info.type);
            if (row == nullptr)
                return "getChannelInfo gives sample type " + sampleTypeName(info.type);
            if (row->bits != plan.bits)
                return std::to_string(plan.bits) +
                       "-bit samples were asked for, the driver "
                       "gives " +
                       sampleTypeName(info.type);
            stream.addChannel({input, number, row->layout});
        }
    }
    return {};
}

// Asks for the plan's size; one outside the limits must be refused, and is then fitted.
std::string buildBuffers(IASIO* driver, const SessionPlan& plan, SoakStream& stream, long& frames) {
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    {
        DriverCallScope scope("getBufferSize");
        if (ASIOError r = driver->getBufferSize(&minimum, &maximum, &preferred, &granularity);
            r != ASE_OK)
            return failed("getBufferSize", r);
    }
    if (minimum <= 0 || maximum < minimum || preferred < minimum || preferred > maximum)
        return "getBufferSize gives inconsistent limits";
    frames = requestedFrames(plan, minimum, maximum, preferred, granularity);
    ASIOError r = stream.createBuffers(frames);
    const bool outside = frames < minimum || frames > maximum;
    if (outside && r == ASE_OK)
        return "createBuffers took " + std::to_string(frames) + " frames, outside " +
               std::to_string(minimum) + ".." + std::to_string(maximum);
    if (r != ASE_OK) {
        if (!outside && plan.size != SizeRequest::OffGranularity)
            return failed("createBuffers", r) + " for " + std::to_string(frames) + " frames";
        frames = fittedFrames(frames, minimum, maximum, granularity);
        r = stream.createBuffers(frames);
        if (r != ASE_OK)
            return failed("createBuffers", r) + " for the fitted " + std::to_string(frames) +
                   " frames";
    }
    if (!stream.buffersUsable())
        return "createBuffers handed out a null buffer";
    long inLatency = 0, outLatency = 0;
    DriverCallScope scope("getLatencies");
    if (ASIOError lr = driver->getLatencies(&inLatency, &outLatency); lr != ASE_OK)
        return failed("getLatencies", lr);
    return {};
}

// A second object of the same driver in the same host: it must not take the device from the
// first, and nothing done to it may disturb the running stream.
std::string probeSecondObject(const CLSID& clsid, bool nullWindow, double rate) {
    DriverRef second;
    std::string failure;
    if (!createDriver(clsid, second, failure))
        return "second object: " + failure;
    DriverCallScope scope("second object");
    if (second->init(nullWindow ? nullptr : GetDesktopWindow()) != ASIOFalse)
        return "a second object in the same host took the device from the streaming one";
    long a = 0, b = 0, c = 0, d = 0;
    second->getChannels(&a, &b);
    second->getBufferSize(&a, &b, &c, &d);
    second->canSampleRate(rate);
    second->getLatencies(&a, &b);
    ASIOBufferInfo info{};
    info.isInput = ASIOFalse;
    ASIOCallbacks none{};
    if (second->createBuffers(&info, 1, 256, &none) == ASE_OK)
        return "a second object without the device built buffers";
    if (second->start() == ASE_OK)
        return "a second object without the device started";
    second->stop();
    second->disposeBuffers();
    return {};
}

double bufferMs(long frames, double rate) {
    return static_cast<double>(frames) * 1000.0 / rate;
}

double streamingMs(const SessionPlan& plan, double period, bool signalChecked) {
    if (period > kLongestShortBufferMs)
        return kLongBufferSwitches * period;
    return signalChecked ? std::max<double>(plan.streamMs, kCheckedSwitches * period)
                         : plan.streamMs;
}

// The style's event comes within the first tenth of a second of audio, or at the first switch.
int eventSwitchOf(const SessionPlan& plan, double period) {
    return std::max(1, std::min(plan.eventSwitch, static_cast<int>(100 / period)));
}

// From start to the end of the plan's host style; the stream is still running (or was ended
// from the callback) when it returns.
std::string streamInStyle(const SessionPlan& plan, const CLSID& clsid, bool nullWindow,
                          SoakStream& stream, double period, SessionOutcome& outcome) {
    const double streamMs = streamingMs(plan, period, stream.signalChecked());
    const DWORD eventWaitMs =
        static_cast<DWORD>(eventSwitchOf(plan, period) * period * 4 + kFirstSwitchWaitMs);
    switch (plan.style) {
    case HostStyle::Callback:
    case HostStyle::ReleaseWithoutStop:
        Sleep(static_cast<DWORD>(streamMs));
        return {};
    case HostStyle::SecondObject: {
        Sleep(static_cast<DWORD>(streamMs / 2));
        std::string failure = probeSecondObject(clsid, nullWindow, plan.rate);
        Sleep(static_cast<DWORD>(streamMs / 2));
        return failure;
    }
    case HostStyle::BlockingReader:
        outcome.readerRan = true;
        outcome.readTimeouts = stream.readBeside(streamMs, period);
        return {};
    case HostStyle::StopInCallback:
    case HostStyle::SlowCallback:
        if (!stream.waitStyleEvent(eventWaitMs))
            return "the stream stopped switching before switch " +
                   std::to_string(eventSwitchOf(plan, period));
        return {};
    }
    return {};
}

// A signal that never came back is a failure; one that came back damaged is a dropout, which
// a run on a loaded machine may take as a figure.
std::string judgeSignal(SoakStream& stream, SessionOutcome& outcome) {
    const SignalSummary s = stream.finishSignal();
    outcome.loopbackChecked = true;
    outcome.lostFrames = s.lostFrames;
    if (!s.arrived)
        return "the loopback signal never came back in " + std::to_string(outcome.switches) +
               " switches";
    if (s.faultSeen())
        outcome.dropout = "the loopback signal came back damaged: " + std::to_string(s.lostFrames) +
                          " frames lost, " + std::to_string(s.silentFrames) + " silent, " +
                          std::to_string(s.corruptFrames) + " corrupt, " +
                          std::to_string(s.jumpCount(JumpKind::Ahead)) + " jumps ahead, " +
                          std::to_string(s.jumpCount(JumpKind::Repeat)) + " repeats";
    return {};
}

// Everything after the stream: stop, disposeBuffers and Release as the style does them, then
// what the driver did after it was told to end.
std::string endSession(const SessionPlan& plan, SessionDriver& held, SoakStream& stream) {
    std::string failure;
    if (plan.style != HostStyle::ReleaseWithoutStop) {
        ASIOError r;
        {
            DriverCallScope scope("stop");
            r = held.driver->stop();
        }
        stream.close();
        if (plan.style == HostStyle::SlowCallback && plan.holdUntilStop)
            stream.releaseHeldCallback();
        if (r != ASE_OK)
            failure = failed("stop", r);
        DriverCallScope scope("disposeBuffers");
        if (ASIOError d = held.driver->disposeBuffers(); d != ASE_OK && failure.empty())
            failure = failed("disposeBuffers", d);
    }
    held.driver.reset();
    stream.close();
    if (!stream.waitCallbacksLeft(kCallbackLeaveWaitMs) && failure.empty())
        failure = "a callback did not return to the host";
    Sleep(kAfterStopWatchMs);
    if (stream.lateCallbacks() > 0 && failure.empty())
        failure = std::to_string(stream.lateCallbacks()) +
                  " buffer switches began after the host ended the stream";
    return failure;
}

} // namespace

SessionOutcome runSoakSession(const SessionPlan& plan, const CLSID& clsid, bool nullWindow) {
    SessionOutcome outcome;
    SessionDriver held;
    if (!held.com.ok()) {
        outcome.failure = "COM could not be initialised: " + describeHresult(held.com.result());
        return outcome;
    }
    if (!createDriver(clsid, held.driver, outcome.failure))
        return outcome;
    IASIO* driver = held.driver.get();
    if ((outcome.failure = initDriver(driver, nullWindow)) != "")
        return outcome;
    if ((outcome.failure = queryAndSetRate(driver, plan)) != "")
        return outcome;

    SoakStream stream(plan, driver);
    if (!stream.eventsMade()) {
        outcome.failure = "the host could not make its events";
        return outcome;
    }
    if ((outcome.failure = addChannels(driver, plan, stream)) != "")
        return outcome;
    long frames = 0;
    if ((outcome.failure = buildBuffers(driver, plan, stream, frames)) != "") {
        held.driver.reset(); // before the callbacks it was given go
        return outcome;
    }
    outcome.frames = frames;
    const double period = bufferMs(frames, plan.rate);
    const bool checkable =
        plan.style == HostStyle::Callback || plan.style == HostStyle::SecondObject;
    stream.prepare(checkable && period <= kLongestShortBufferMs, eventSwitchOf(plan, period));

    ASIOError started;
    {
        DriverCallScope scope("start");
        started = driver->start();
    }
    std::string failure;
    if (started != ASE_OK)
        failure = failed("start", started);
    else if (!stream.waitFirstSwitch(kFirstSwitchWaitMs))
        failure = "no buffer switch within 2 s of start";
    else
        failure = streamInStyle(plan, clsid, nullWindow, stream, period, outcome);
    const std::string ending = endSession(plan, held, stream);
    if (failure.empty())
        failure = ending;
    if (failure.empty() && plan.style == HostStyle::StopInCallback &&
        stream.stopFromCallbackResult() != ASE_OK)
        failure = failed("stop from inside the callback", stream.stopFromCallbackResult());
    outcome.switches = stream.switches();
    if (failure.empty() && stream.badHalves() > 0)
        failure = "buffer switches with a half index other than 0 or 1";
    if (stream.signalChecked() && started == ASE_OK) {
        const std::string signal = judgeSignal(stream, outcome);
        if (failure.empty())
            failure = signal;
    }
    // Only hosts that never hold the callback themselves say how long the driver kept one back.
    if (plan.style == HostStyle::Callback || plan.style == HostStyle::BlockingReader ||
        plan.style == HostStyle::SecondObject) {
        outcome.longestInputGapMs = std::max(0.0, stream.longestGapMs() - period);
        outcome.longestGapSwitch = stream.longestGapSwitch();
        // A dropout after the streaming thread was held longer than the device's queue covers
        // is the machine's; one without such a wait is the driver's.
        if (!outcome.dropout.empty()) {
            char wait[128];
            std::snprintf(wait, sizeof wait,
                          "; longest wait between two switches %.1f ms beyond one buffer of "
                          "%.2f ms (before switch %lld)",
                          outcome.longestInputGapMs, period,
                          static_cast<long long>(outcome.longestGapSwitch));
            outcome.dropout += wait;
        }
    }
    outcome.failure = failure;
    return outcome;
}

} // namespace asiohost
