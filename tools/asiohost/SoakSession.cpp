#include "SoakSession.h"

#include "AsioNames.h"
#include "CrashGuard.h"
#include "DriverConnection.h"
#include "SampleTypes.h"
#include "SignalTracker.h"
#include "common/UniqueResource.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace asiohost {

namespace {

constexpr double kRates[] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0,
                             11025.0, 16000.0, 32000.0, 88200.0};
constexpr DWORD kFirstSwitchWaitMs = 2000;
// How long the session watches for callbacks once stop (or Release) has returned.
constexpr DWORD kAfterStopWatchMs = 30;
// A callback held until the host's stop returns is let out after this at the latest.
constexpr DWORD kHoldCapMs = 5000;
// How long the host waits for its own callbacks to have left before it frees what they use.
constexpr DWORD kCallbackLeaveWaitMs = 8000;
// The blocking reader gives up on a read after this many buffers without input.
constexpr int kReaderTimeoutBuffers = 8;
constexpr int kFifoBlocks = 16;
// Buffers up to this long stream for the plan's time; longer ones for a few switches only, so
// that a long run spends its time on many sessions. The signal is checked only in the former.
constexpr double kLongestShortBufferMs = 12;
constexpr double kLongBufferSwitches = 2.5;
constexpr int kCheckedSwitches = 20;

int64_t qpcNow() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double qpcMs(int64_t ticks) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? static_cast<double>(f.QuadPart) : 1.0;
    }();
    return static_cast<double>(ticks) * 1000.0 / frequency;
}

struct Channel {
    bool input;
    long number;
    SampleLayout layout;
};

// Blocks of the loopback pair between the callback and the host's reading thread: one writer,
// one reader, nothing allocated once the stream runs.
struct BlockFifo {
    std::vector<FrameWords> frames;
    long blockFrames = 0;
    std::atomic<int64_t> written{0};
    std::atomic<int64_t> read{0};

    void allocate(long perBlock) {
        blockFrames = perBlock;
        frames.assign(static_cast<size_t>(perBlock) * kFifoBlocks, FrameWords{});
    }
    FrameWords* block(int64_t index) {
        return frames.data() + static_cast<size_t>(index % kFifoBlocks) * blockFrames;
    }
    int64_t queued() const { return written.load() - read.load(); }
};

class SessionStream;
// ASIO callbacks carry no context: the stream they serve is this one.
std::atomic<SessionStream*> activeStream{nullptr};

class SessionStream {
public:
    SessionStream(const SessionPlan& plan, IASIO* driver) : plan_(plan), driver_(driver) {
        callbacks_.bufferSwitch = &SessionStream::onBufferSwitch;
        callbacks_.sampleRateDidChange = &SessionStream::onRateChange;
        callbacks_.asioMessage = &SessionStream::onMessage;
        callbacks_.bufferSwitchTimeInfo = &SessionStream::onBufferSwitchTimeInfo;
        firstSwitch_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        blockArrived_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        holdRelease_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        styleDone_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    ~SessionStream() {
        SessionStream* self = this;
        activeStream.compare_exchange_strong(self, nullptr);
    }
    SessionStream(const SessionStream&) = delete;
    SessionStream& operator=(const SessionStream&) = delete;

    bool eventsMade() const { return firstSwitch_ && blockArrived_ && holdRelease_ && styleDone_; }

    void addChannel(const Channel& c) {
        const int at = static_cast<int>(channels_.size());
        if (c.input && c.number == 0)
            inLeft_ = at;
        if (c.input && c.number == 1)
            inRight_ = at;
        if (!c.input && c.number == 0)
            outLeft_ = at;
        if (!c.input && c.number == 1)
            outRight_ = at;
        channels_.push_back(c);
        ASIOBufferInfo info{};
        info.isInput = c.input ? ASIOTrue : ASIOFalse;
        info.channelNum = c.number;
        infos_.push_back(info);
    }
    bool hasLoopbackPair() const {
        return inLeft_ >= 0 && inRight_ >= 0 && outLeft_ >= 0 && outRight_ >= 0;
    }

    ASIOError createBuffers(long frames) {
        frames_ = frames;
        for (ASIOBufferInfo& info : infos_)
            info.buffers[0] = info.buffers[1] = nullptr;
        DriverCallScope scope("createBuffers");
        return driver_->createBuffers(infos_.data(), static_cast<long>(infos_.size()), frames,
                                      &callbacks_);
    }

    // Null buffers or buffers the host cannot write end the session as a failure.
    bool buffersUsable() {
        for (size_t i = 0; i < infos_.size(); ++i) {
            if (infos_[i].buffers[0] == nullptr || infos_[i].buffers[1] == nullptr)
                return false;
            const size_t bytes = static_cast<size_t>(frames_) * bytesPerSample(channels_[i].layout);
            std::memset(infos_[i].buffers[0], 0, bytes);
            std::memset(infos_[i].buffers[1], 0, bytes);
        }
        return true;
    }

    void prepare(bool checkSignal, int eventSwitch) {
        checkSignal_ = checkSignal && hasLoopbackPair();
        eventSwitch_ = eventSwitch;
        carried_ = 0xFFFFFFFFu;
        if (hasLoopbackPair())
            for (int index : {outLeft_, outRight_, inLeft_, inRight_})
                carried_ &= carriedBits(channels_[index].layout);
        inFifo_.allocate(frames_);
        outFifo_.allocate(frames_);
        activeStream.store(this);
    }

    // ---- what the host's main thread sees ----
    bool waitFirstSwitch(DWORD ms) { return WaitForSingleObject(firstSwitch_.get(), ms) == 0; }
    bool waitStyleEvent(DWORD ms) { return WaitForSingleObject(styleDone_.get(), ms) == 0; }
    void releaseHeldCallback() { SetEvent(holdRelease_.get()); }
    void close() { closed_.store(true); }
    bool waitCallbacksLeft(DWORD ms) {
        const DWORD begin = GetTickCount();
        while (inside_.load() != 0) {
            if (GetTickCount() - begin >= ms)
                return false;
            Sleep(2);
        }
        return true;
    }
    int64_t switches() const { return switches_.load(); }
    int64_t lateCallbacks() const { return late_.load(); }
    int64_t badHalves() const { return badHalf_.load(); }
    ASIOError stopFromCallbackResult() const { return stopInCallbackResult_.load(); }
    bool stoppedFromCallback() const { return stoppedInCallback_.load(); }
    double longestGapMs() const { return qpcMs(longestGap_.load()); }
    int64_t longestGapSwitch() const { return longestGapAt_.load(); }
    bool signalChecked() const { return checkSignal_; }
    SignalSummary finishSignal() {
        tracker_.finish();
        return tracker_.summary();
    }

    // The host's own thread reads the input and writes the output through its rings, as a
    // blocking-style host does, and gives up after a read waits kReaderTimeoutBuffers.
    int64_t readBeside(double streamMs, double bufferMs) {
        const DWORD timeout = static_cast<DWORD>(std::ceil(kReaderTimeoutBuffers * bufferMs)) + 1;
        const int64_t begin = qpcNow();
        int64_t outFrame = 0;
        while (qpcMs(qpcNow() - begin) < streamMs) {
            while (outFifo_.queued() < kFifoBlocks / 2) {
                FrameWords* block = outFifo_.block(outFifo_.written.load());
                for (long j = 0; j < frames_; ++j)
                    block[j] = encodeFrame(static_cast<uint32_t>(outFrame++) & kFrameNumberMask);
                outFifo_.written.fetch_add(1);
            }
            if (inFifo_.queued() > 0) {
                inFifo_.read.fetch_add(1);
                continue;
            }
            if (WaitForSingleObject(blockArrived_.get(), timeout) == WAIT_TIMEOUT &&
                inFifo_.queued() == 0)
                return 1;
        }
        return 0;
    }

private:
    static void onBufferSwitch(long half, ASIOBool) {
        if (SessionStream* s = activeStream.load())
            s->onSwitch(half);
    }
    static ASIOTime* onBufferSwitchTimeInfo(ASIOTime*, long half, ASIOBool) {
        if (SessionStream* s = activeStream.load())
            s->onSwitch(half);
        return nullptr;
    }
    static void onRateChange(ASIOSampleRate) {}
    static long onMessage(long selector, long value, void*, double*) {
        SessionStream* s = activeStream.load();
        switch (selector) {
        case kAsioSelectorSupported:
            return value == kAsioEngineVersion || value == kAsioResetRequest ||
                           value == kAsioResyncRequest || value == kAsioLatenciesChanged ||
                           value == kAsioSupportsTimeInfo
                       ? 1
                       : 0;
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
        case kAsioResyncRequest:
        case kAsioLatenciesChanged:
            return 1;
        case kAsioSupportsTimeInfo:
            return s != nullptr && s->plan_.timeInfo ? 1 : 0;
        default:
            return 0;
        }
    }

    void onSwitch(long half) {
        inside_.fetch_add(1);
        if (closed_.load() || stoppedInCallback_.load()) {
            late_.fetch_add(1);
        } else if (half != 0 && half != 1) {
            badHalf_.fetch_add(1);
        } else {
            const int64_t index = switches_.load();
            const int64_t now = qpcNow();
            if (index > 0)
                noteGap(now - lastSwitch_, index);
            lastSwitch_ = now;
            if (plan_.style == HostStyle::BlockingReader)
                exchangeThroughFifos(half);
            else
                exchangeDirectly(half, index);
            switches_.store(index + 1);
            if (index == 0)
                SetEvent(firstSwitch_.get());
            if (index + 1 == eventSwitch_)
                styleEvent();
        }
        inside_.fetch_sub(1);
    }

    // Only the streaming thread notes gaps; the host's thread reads them after the stream.
    void noteGap(int64_t ticks, int64_t index) {
        if (ticks <= longestGap_.load())
            return;
        longestGap_.store(ticks);
        longestGapAt_.store(index);
    }

    void styleEvent() {
        if (plan_.style == HostStyle::StopInCallback) {
            if (plan_.endWhileCallbackStops)
                SetEvent(styleDone_.get());
            stopInCallbackResult_.store(driver_->stop());
            stoppedInCallback_.store(true);
            SetEvent(styleDone_.get());
        } else if (plan_.style == HostStyle::SlowCallback) {
            SetEvent(styleDone_.get());
            if (plan_.holdUntilStop)
                WaitForSingleObject(holdRelease_.get(), kHoldCapMs);
            else
                Sleep(static_cast<DWORD>(plan_.slowMs));
        }
    }

    void silenceOthers(long half) {
        for (size_t i = 0; i < infos_.size(); ++i) {
            const int at = static_cast<int>(i);
            if (channels_[i].input || at == outLeft_ || at == outRight_)
                continue;
            std::memset(infos_[i].buffers[half], 0,
                        static_cast<size_t>(frames_) * bytesPerSample(channels_[i].layout));
        }
    }

    void exchangeDirectly(long half, int64_t index) {
        silenceOthers(half);
        const int64_t position = index * frames_;
        const int frames = static_cast<int>(frames_);
        if (outLeft_ >= 0 && outRight_ >= 0)
            writeSignal(channels_[outLeft_].layout, infos_[outLeft_].buffers[half],
                        channels_[outRight_].layout, infos_[outRight_].buffers[half],
                        static_cast<uint64_t>(position), frames);
        if (!checkSignal_)
            return;
        const SampleLayout left = channels_[inLeft_].layout;
        const SampleLayout right = channels_[inRight_].layout;
        for (int j = 0; j < frames; ++j) {
            const FrameWords words{readSampleWord(left, infos_[inLeft_].buffers[half], j),
                                   readSampleWord(right, infos_[inRight_].buffers[half], j)};
            tracker_.onFrame(position + j, decodeFrame(words, carried_));
        }
    }

    void exchangeThroughFifos(long half) {
        silenceOthers(half);
        const int frames = static_cast<int>(frames_);
        if (inLeft_ >= 0 && inRight_ >= 0 && inFifo_.queued() < kFifoBlocks) {
            FrameWords* block = inFifo_.block(inFifo_.written.load());
            for (int j = 0; j < frames; ++j)
                block[j] = {
                    readSampleWord(channels_[inLeft_].layout, infos_[inLeft_].buffers[half], j),
                    readSampleWord(channels_[inRight_].layout, infos_[inRight_].buffers[half], j)};
            inFifo_.written.fetch_add(1);
        } else if (inLeft_ < 0 || inRight_ < 0) {
            inFifo_.written.fetch_add(1); // no pair: the block's arrival is what is read
        }
        SetEvent(blockArrived_.get());
        if (outLeft_ < 0 || outRight_ < 0)
            return;
        const bool have = outFifo_.queued() > 0;
        const FrameWords* block = have ? outFifo_.block(outFifo_.read.load()) : nullptr;
        for (int j = 0; j < frames; ++j) {
            const FrameWords w = block != nullptr ? block[j] : FrameWords{};
            writeSampleWord(channels_[outLeft_].layout, infos_[outLeft_].buffers[half], j, w.left);
            writeSampleWord(channels_[outRight_].layout, infos_[outRight_].buffers[half], j,
                            w.right);
        }
        if (have)
            outFifo_.read.fetch_add(1);
    }

    const SessionPlan& plan_;
    IASIO* driver_;
    ASIOCallbacks callbacks_{};
    std::vector<Channel> channels_;
    std::vector<ASIOBufferInfo> infos_;
    long frames_ = 0;
    int inLeft_ = -1, inRight_ = -1, outLeft_ = -1, outRight_ = -1;
    bool checkSignal_ = false;
    int eventSwitch_ = 1;
    uint32_t carried_ = 0xFFFFFFFFu;
    SignalTracker tracker_;
    BlockFifo inFifo_, outFifo_;
    int64_t lastSwitch_ = 0;

    UniqueHandle firstSwitch_, blockArrived_, holdRelease_, styleDone_;
    std::atomic<int64_t> switches_{0}, late_{0}, badHalf_{0}, longestGap_{0}, longestGapAt_{0};
    std::atomic<int> inside_{0};
    std::atomic<bool> closed_{false}, stoppedInCallback_{false};
    std::atomic<ASIOError> stopInCallbackResult_{ASE_OK};
};

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
    for (double rate : kRates)
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

std::string addChannels(IASIO* driver, const SessionPlan& plan, SessionStream& stream) {
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
std::string buildBuffers(IASIO* driver, const SessionPlan& plan, SessionStream& stream,
                         long& frames) {
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
                          SessionStream& stream, double period, SessionOutcome& outcome) {
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
std::string judgeSignal(SessionStream& stream, SessionOutcome& outcome) {
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
std::string endSession(const SessionPlan& plan, SessionDriver& held, SessionStream& stream) {
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

    SessionStream stream(plan, driver);
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
    }
    outcome.failure = failure;
    return outcome;
}

} // namespace asiohost
