#include "ProbeSession.h"

#include "CrashGuard.h"
#include "ThreadClock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace asiohost {

namespace {

// ASIO callbacks carry no context: the session they serve is this one.
std::atomic<ProbeSession*> activeSession{nullptr};
std::atomic<bool> interruptRequested{false};

// A driver that never calls back is given this long before the probe gives up on it.
constexpr double kFirstSwitchTimeoutSeconds = 3.0;
// How long the probe watches for callbacks after stop has returned.
constexpr DWORD kAfterStopWatchMs = 200;
// Records beyond this many switches are counted but not kept.
constexpr size_t kMaxRecords = size_t{1} << 20;

// Selectors the probe answers as a host; kAsioSelectorSupported says yes to these.
constexpr long kHandledSelectors[] = {
    kAsioSelectorSupported, kAsioEngineVersion,    kAsioResetRequest,
    kAsioResyncRequest,     kAsioLatenciesChanged, kAsioSupportsTimeInfo,
};

int64_t qpcNow() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

uint64_t toPosition(const ASIOSamples& s) {
    return (uint64_t{s.hi} << 32) | s.lo;
}

} // namespace

ProbeSession::ProbeSession(ProbeSetup setup) : setup_(std::move(setup)) {
    for (const ChannelPlan& c : setup_.channels) {
        ASIOBufferInfo info{};
        info.isInput = c.input ? ASIOTrue : ASIOFalse;
        info.channelNum = c.channel;
        infos_.push_back(info);
    }
    const double expected = std::ceil(setup_.seconds * setup_.nominalRate /
                                      static_cast<double>(std::max(setup_.frames, 1L)));
    // Room for a driver that runs up to twice as fast as it should.
    const double wanted = std::max(0.0, expected) * 2 + 256;
    records_.resize(wanted < static_cast<double>(kMaxRecords) ? static_cast<size_t>(wanted)
                                                              : kMaxRecords);
    // The path keeps the bits that every layout on the way keeps.
    inCarried_ = 0xFFFFFFFFu;
    for (int index : {setup_.outLeft, setup_.outRight, setup_.inLeft, setup_.inRight})
        if (index >= 0)
            inCarried_ &= carriedBits(setup_.channels[index].layout);

    callbacks_.bufferSwitch = &ProbeSession::onBufferSwitch;
    callbacks_.sampleRateDidChange = &ProbeSession::onSampleRateDidChange;
    callbacks_.asioMessage = &ProbeSession::onAsioMessage;
    callbacks_.bufferSwitchTimeInfo = &ProbeSession::onBufferSwitchTimeInfo;
}

ProbeSession::~ProbeSession() {
    ProbeSession* self = this;
    activeSession.compare_exchange_strong(self, nullptr);
}

void ProbeSession::interrupt() {
    interruptRequested.store(true);
}

void ProbeSession::onBufferSwitch(long half, ASIOBool) {
    if (ProbeSession* s = activeSession.load(std::memory_order_acquire)) {
        if (s->setup_.timeInfo)
            s->plainWithTimeInfo_.fetch_add(1, std::memory_order_relaxed);
        s->onSwitch(half, nullptr, false);
    }
}

ASIOTime* ProbeSession::onBufferSwitchTimeInfo(ASIOTime* time, long half, ASIOBool) {
    if (ProbeSession* s = activeSession.load(std::memory_order_acquire)) {
        // Hosts that decline time information may pass no such callback at all.
        if (!s->setup_.timeInfo)
            s->timeInfoWithout_.fetch_add(1, std::memory_order_relaxed);
        if (time == nullptr)
            s->nullTimeRecords_.fetch_add(1, std::memory_order_relaxed);
        s->onSwitch(half, time, true);
    }
    return nullptr;
}

void ProbeSession::onSampleRateDidChange(ASIOSampleRate rate) {
    if (ProbeSession* s = activeSession.load(std::memory_order_acquire)) {
        s->rateChanges_.fetch_add(1);
        s->lastRate_.store(rate);
    }
}

long ProbeSession::onAsioMessage(long selector, long value, void*, double*) {
    ProbeSession* s = activeSession.load(std::memory_order_acquire);
    return s != nullptr ? s->answerMessage(selector, value) : 0;
}

long ProbeSession::answerMessage(long selector, long value) {
    switch (selector) {
    case kAsioSelectorSupported:
        return std::find(std::begin(kHandledSelectors), std::end(kHandledSelectors), value) !=
                       std::end(kHandledSelectors)
                   ? 1
                   : 0;
    case kAsioEngineVersion:
        return 2;
    case kAsioResetRequest:
        // A real host would rebuild its buffers; the probe notes it and streams on.
        resetRequests_.fetch_add(1);
        return 1;
    case kAsioBufferSizeChange:
        // Not taken: the driver then falls back to a reset request.
        bufferSizeChanges_.fetch_add(1);
        return 0;
    case kAsioResyncRequest:
        resyncRequests_.fetch_add(1);
        return 1;
    case kAsioLatenciesChanged:
        latencyChanges_.fetch_add(1);
        return 1;
    case kAsioSupportsTimeInfo:
        timeInfoQueries_.fetch_add(1);
        return setup_.timeInfo ? 1 : 0;
    case kAsioSupportsTimeCode:
        return 0;
    default:
        otherMessages_.fetch_add(1);
        lastOtherSelector_.store(selector);
        return 0;
    }
}

void ProbeSession::captureStreamThread() {
    streamThreadId_ = GetCurrentThreadId();
    HANDLE real = nullptr;
    // GetCurrentThread is a pseudo handle, meaningless to the main thread: make a real one.
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &real,
                        THREAD_QUERY_INFORMATION, FALSE, 0)) {
        streamThread_.reset(real);
        cpuStartKnown_ = threadCpuTime(real, cpuAtFirstSwitch_);
    }
    threadCaptured_.store(true, std::memory_order_release);
}

void ProbeSession::onSwitch(long half, ASIOTime* time, bool viaTimeInfo) {
    if (closed_.load(std::memory_order_acquire)) {
        lateCallbacks_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const int64_t entry = qpcNow();
    const int64_t index = switches_.load(std::memory_order_relaxed);
    if (index == 0)
        captureStreamThread();
    else if (GetCurrentThreadId() != streamThreadId_)
        foreignThreadSwitches_.fetch_add(1, std::memory_order_relaxed);

    SwitchRecord record{};
    record.entryTicks = entry;
    record.half = static_cast<int32_t>(half);
    record.viaTimeInfo = viaTimeInfo;
    if (time != nullptr) {
        record.timeFlags = time->timeInfo.flags;
        if (time->timeInfo.flags & kSamplePositionValid) {
            record.position = toPosition(time->timeInfo.samplePosition);
            record.positionKnown = true;
        }
    } else if (!viaTimeInfo) {
        // What a host without time information does to learn where it is.
        ASIOSamples position{};
        ASIOTimeStamp stamp{};
        if (setup_.driver->getSamplePosition(&position, &stamp) == ASE_OK) {
            record.position = toPosition(position);
            record.positionKnown = true;
        }
    }

    if (half == 0 || half == 1)
        exchange(half, index);
    else
        badHalf_.fetch_add(1, std::memory_order_relaxed);

    const int64_t busy = qpcNow() - entry;
    record.busyTicks = static_cast<int32_t>(std::min<int64_t>(busy, INT32_MAX));
    hostTicks_.fetch_add(busy, std::memory_order_relaxed);
    if (static_cast<uint64_t>(index) < records_.size())
        records_[static_cast<size_t>(index)] = record;
    switches_.store(index + 1, std::memory_order_release);
}

// Output half `half` gets the signal for stream position index x frames; the input half that
// came with it is followed frame by frame.
void ProbeSession::exchange(long half, int64_t index) {
    const int frames = static_cast<int>(setup_.frames);
    const int64_t position = index * setup_.frames;
    for (size_t i = 0; i < infos_.size(); ++i) {
        const int at = static_cast<int>(i);
        if (setup_.channels[i].input || at == setup_.outLeft || at == setup_.outRight)
            continue;
        std::memset(infos_[i].buffers[half], 0,
                    static_cast<size_t>(frames) * bytesPerSample(setup_.channels[i].layout));
    }
    if (setup_.outLeft >= 0 && setup_.outRight >= 0)
        writeSignal(setup_.channels[setup_.outLeft].layout, infos_[setup_.outLeft].buffers[half],
                    setup_.channels[setup_.outRight].layout, infos_[setup_.outRight].buffers[half],
                    static_cast<uint64_t>(position), frames);
    if (setup_.inLeft >= 0 && setup_.inRight >= 0) {
        const SampleLayout leftLayout = setup_.channels[setup_.inLeft].layout;
        const SampleLayout rightLayout = setup_.channels[setup_.inRight].layout;
        const void* left = infos_[setup_.inLeft].buffers[half];
        const void* right = infos_[setup_.inRight].buffers[half];
        for (int j = 0; j < frames; ++j) {
            const FrameWords words{readSampleWord(leftLayout, left, j),
                                   readSampleWord(rightLayout, right, j)};
            tracker_.onFrame(position + j, decodeFrame(words, inCarried_));
        }
    }
}

bool ProbeSession::createBuffers(ProbeRun& r) {
    {
        DriverCallScope scope("createBuffers");
        r.createResult = setup_.driver->createBuffers(
            infos_.data(), static_cast<long>(infos_.size()), setup_.frames, &callbacks_);
    }
    if (r.createResult != ASE_OK)
        return false;
    r.buffersCreated = true;
    for (size_t i = 0; i < infos_.size(); ++i) {
        if (infos_[i].buffers[0] == nullptr || infos_[i].buffers[1] == nullptr) {
            r.nullBuffer = true;
            return false;
        }
        const size_t bytes =
            static_cast<size_t>(setup_.frames) * bytesPerSample(setup_.channels[i].layout);
        std::memset(infos_[i].buffers[0], 0, bytes);
        std::memset(infos_[i].buffers[1], 0, bytes);
    }
    {
        DriverCallScope scope("getLatencies");
        r.latenciesKnown = setup_.driver->getLatencies(&r.inLatency, &r.outLatency) == ASE_OK;
    }
    {
        DriverCallScope scope("getSampleRate");
        if (setup_.driver->getSampleRate(&r.rate) != ASE_OK)
            r.rate = 0;
    }
    return true;
}

void ProbeSession::stream(ProbeRun& r) {
    {
        DriverCallScope scope("start");
        r.startResult = setup_.driver->start();
    }
    if (r.startResult != ASE_OK)
        return;
    r.started = true;

    const int64_t begin = qpcNow();
    auto elapsed = [&] {
        return static_cast<double>(qpcNow() - begin) / static_cast<double>(r.qpcFrequency);
    };
    while (elapsed() < setup_.seconds) {
        if (interruptRequested.load()) {
            r.interrupted = true;
            break;
        }
        if (switches_.load() == 0 && elapsed() >= kFirstSwitchTimeoutSeconds)
            break;
        Sleep(20);
    }
    r.elapsedSeconds = elapsed();

    // The driver thread's CPU time is read while it still runs: a finished thread's times are
    // not reliable everywhere.
    if (threadCaptured_.load(std::memory_order_acquire) && cpuStartKnown_) {
        int64_t now = 0;
        r.cpuWindowSwitches = switches_.load();
        r.cpuWindowHostTicks = hostTicks_.load();
        if (threadCpuTime(streamThread_.get(), now)) {
            r.cpuKnown = true;
            r.cpuTime = now - cpuAtFirstSwitch_;
        }
    }

    {
        DriverCallScope scope("stop");
        r.stopResult = setup_.driver->stop();
    }
    const int64_t atStop = switches_.load();
    closed_.store(true, std::memory_order_release);
    Sleep(kAfterStopWatchMs);
    r.callbacksAfterStop = lateCallbacks_.load() + (switches_.load() - atStop);
}

ProbeRun ProbeSession::run() {
    ProbeRun r;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    r.qpcFrequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    interruptRequested.store(false);
    activeSession.store(this, std::memory_order_release);

    if (createBuffers(r))
        stream(r);
    if (r.buffersCreated) {
        closed_.store(true, std::memory_order_release);
        DriverCallScope scope("disposeBuffers");
        r.disposeResult = setup_.driver->disposeBuffers();
    }
    activeSession.store(nullptr, std::memory_order_release);

    r.switches = switches_.load();
    r.hostTicks = hostTicks_.load();
    records_.resize(static_cast<size_t>(std::min<int64_t>(r.switches, records_.size())));
    r.records = std::move(records_);
    if (r.cpuKnown)
        r.cpuClockStep = measureCpuClockStep(300);

    r.badHalfIndex = badHalf_.load();
    r.plainSwitchesWithTimeInfo = plainWithTimeInfo_.load();
    r.timeInfoSwitchesWithout = timeInfoWithout_.load();
    r.nullTimeRecords = nullTimeRecords_.load();
    r.switchesFromOtherThreads = foreignThreadSwitches_.load();

    MessageLog& m = r.messages;
    m.resetRequests = resetRequests_.load();
    m.resyncRequests = resyncRequests_.load();
    m.latencyChanges = latencyChanges_.load();
    m.bufferSizeChanges = bufferSizeChanges_.load();
    m.rateChanges = rateChanges_.load();
    m.lastRate = lastRate_.load();
    m.timeInfoQueries = timeInfoQueries_.load();
    m.otherMessages = otherMessages_.load();
    m.lastOtherSelector = lastOtherSelector_.load();

    tracker_.finish();
    r.signal = tracker_.summary();
    return r;
}

} // namespace asiohost
