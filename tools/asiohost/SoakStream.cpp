#include "SoakStream.h"

#include "CrashGuard.h"

#include <cmath>
#include <cstring>

namespace asiohost {

namespace {

// A callback held until the host's stop returns is let out after this at the latest.
constexpr DWORD kHoldCapMs = 5000;
// The blocking reader gives up on a read after this many buffers without input.
constexpr int kReaderTimeoutBuffers = 8;
constexpr int kFifoBlocks = 16;

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

// ASIO callbacks carry no context: the stream they serve is this one.
std::atomic<SoakStream*> activeStream{nullptr};

} // namespace

SoakStream::SoakStream(const SessionPlan& plan, IASIO* driver) : plan_(plan), driver_(driver) {
    callbacks_.bufferSwitch = &SoakStream::onBufferSwitch;
    callbacks_.sampleRateDidChange = &SoakStream::onRateChange;
    callbacks_.asioMessage = &SoakStream::onMessage;
    callbacks_.bufferSwitchTimeInfo = &SoakStream::onBufferSwitchTimeInfo;
    firstSwitch_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    blockArrived_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    holdRelease_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    styleDone_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

SoakStream::~SoakStream() {
    SoakStream* self = this;
    activeStream.compare_exchange_strong(self, nullptr);
}

void SoakStream::addChannel(const SoakChannel& c) {
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

ASIOError SoakStream::createBuffers(long frames) {
    frames_ = frames;
    for (ASIOBufferInfo& info : infos_)
        info.buffers[0] = info.buffers[1] = nullptr;
    DriverCallScope scope("createBuffers");
    return driver_->createBuffers(infos_.data(), static_cast<long>(infos_.size()), frames,
                                  &callbacks_);
}

bool SoakStream::buffersUsable() {
    for (size_t i = 0; i < infos_.size(); ++i) {
        if (infos_[i].buffers[0] == nullptr || infos_[i].buffers[1] == nullptr)
            return false;
        const size_t bytes = static_cast<size_t>(frames_) * bytesPerSample(channels_[i].layout);
        std::memset(infos_[i].buffers[0], 0, bytes);
        std::memset(infos_[i].buffers[1], 0, bytes);
    }
    return true;
}

void SoakStream::prepare(bool checkSignal, int eventSwitch) {
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

bool SoakStream::waitCallbacksLeft(DWORD ms) const {
    const DWORD begin = GetTickCount();
    while (inside_.load() != 0) {
        if (GetTickCount() - begin >= ms)
            return false;
        Sleep(2);
    }
    return true;
}

int64_t SoakStream::readBeside(double streamMs, double bufferMs) {
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

double SoakStream::longestGapMs() const {
    return qpcMs(longestGap_.load());
}

void SoakStream::BlockFifo::allocate(long perBlock) {
    blockFrames = perBlock;
    frames.assign(static_cast<size_t>(perBlock) * kFifoBlocks, FrameWords{});
}

FrameWords* SoakStream::BlockFifo::block(int64_t index) {
    return frames.data() + static_cast<size_t>(index % kFifoBlocks) * blockFrames;
}

void SoakStream::onBufferSwitch(long half, ASIOBool) {
    if (SoakStream* s = activeStream.load())
        s->onSwitch(half);
}

ASIOTime* SoakStream::onBufferSwitchTimeInfo(ASIOTime*, long half, ASIOBool) {
    if (SoakStream* s = activeStream.load())
        s->onSwitch(half);
    return nullptr;
}

void SoakStream::onRateChange(ASIOSampleRate) {}

long SoakStream::onMessage(long selector, long value, void*, double*) {
    SoakStream* s = activeStream.load();
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

void SoakStream::onSwitch(long half) {
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
void SoakStream::noteGap(int64_t ticks, int64_t index) {
    if (ticks <= longestGap_.load())
        return;
    longestGap_.store(ticks);
    longestGapAt_.store(index);
}

void SoakStream::styleEvent() {
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

void SoakStream::silenceOthers(long half) {
    for (size_t i = 0; i < infos_.size(); ++i) {
        const int at = static_cast<int>(i);
        if (channels_[i].input || at == outLeft_ || at == outRight_)
            continue;
        std::memset(infos_[i].buffers[half], 0,
                    static_cast<size_t>(frames_) * bytesPerSample(channels_[i].layout));
    }
}

void SoakStream::exchangeDirectly(long half, int64_t index) {
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

void SoakStream::exchangeThroughFifos(long half) {
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
        writeSampleWord(channels_[outRight_].layout, infos_[outRight_].buffers[half], j, w.right);
    }
    if (have)
        outFifo_.read.fetch_add(1);
}

} // namespace asiohost
