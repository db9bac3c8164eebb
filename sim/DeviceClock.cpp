// The device clock: the thread that keeps time for the simulated device, plays the queued output
// headers, fills the queued input headers from the loopback, and delivers the notices.
#include "WaveMachine.h"

#include "SharedRead.h"
#include "SimDeviceState.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr uint64_t kHistoryFrames = kLoopbackHistoryFrames;
constexpr DWORD kClockStepMs = 1;
constexpr DWORD kClockEndWaitMs = 10000;
// A gap between two clock steps longer than this is a pause of the machine, not device time.
constexpr int64_t kMachinePauseMs = 4;

void addFrames(volatile LONG& counter, uint64_t frames) {
    InterlockedExchangeAdd(&counter, static_cast<LONG>(std::min<uint64_t>(frames, 0x7FFFFFFF)));
}

// Appends to the play record; a reservation first, so that two writers never share bytes.
void record(const uint8_t* bytes, DWORD count) {
    SimState* s = state();
    LONG at = 0;
    LONG take = 0;
    do {
        at = sharedRead(s->playedBytes);
        if (at < 0 || static_cast<DWORD>(at) >= kPlayedCapacity)
            return;
        take = static_cast<LONG>(std::min<DWORD>(count, kPlayedCapacity - at));
    } while (InterlockedCompareExchange(&s->playedBytes, at + take, at) != at);
    std::memcpy(s->played + at, bytes, take);
}

// Writes frames [out.nextFrame, +frames) of the loopback history: `bytes` as far as they reach
// (a last partial frame is padded with silence), silence after them.
void remember(WaveStream& out, const uint8_t* bytes, DWORD byteCount, uint64_t frames) {
    const DWORD align = out.format.blockAlign;
    const uint64_t skip = frames > kHistoryFrames ? frames - kHistoryFrames : 0;
    for (uint64_t k = skip; k < frames; ++k) {
        uint8_t* slot = out.history.data() + (out.nextFrame + k) % kHistoryFrames * align;
        const uint64_t offset = k * align;
        DWORD have = 0;
        if (bytes != nullptr && offset < byteCount)
            have = static_cast<DWORD>(std::min<uint64_t>(align, byteCount - offset));
        if (have != 0)
            std::memcpy(slot, bytes + offset, have);
        std::memset(slot + have, 0, align - have);
    }
}

// What the input hears on device frame `frame`: the output of `frame` - delay, else silence.
void hear(const WaveStream* out, uint64_t frame, uint8_t* to, DWORD byteCount) {
    const int32_t configured = sharedRead(state()->loopbackDelayFrames);
    const uint64_t delay = configured > 0 ? static_cast<uint64_t>(configured) : 0;
    if (out == nullptr || frame < delay) {
        std::memset(to, 0, byteCount);
        return;
    }
    const uint64_t source = frame - delay;
    if (source < out->openFrame || source >= out->nextFrame ||
        out->nextFrame - source > kHistoryFrames) {
        std::memset(to, 0, byteCount);
        return;
    }
    std::memcpy(to, out->history.data() + source % kHistoryFrames * out->format.blockAlign,
                byteCount);
}

DWORD WINAPI clockMain(void* param) {
    std::unique_ptr<std::shared_ptr<UniqueHandle>> stop(
        static_cast<std::shared_ptr<UniqueHandle>*>(param));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    // Without it a 1 ms wait is a 15 ms wait on Windows; the counter keeps the pace either way.
    timeBeginPeriod(kClockStepMs);
    while (WaitForSingleObject((*stop)->get(), kClockStepMs) == WAIT_TIMEOUT) {
        try {
            WaveMachine::instance().tick();
        } catch (...) {
            OutputDebugStringA("QvK9Sim: device clock step failed\n");
        }
    }
    timeEndPeriod(kClockStepMs);
    return 0;
}

} // namespace

void WaveMachine::syncTime() {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    int64_t elapsed = now.QuadPart - lastCounter_;
    lastCounter_ = now.QuadPart;
    // Real hardware plays on while the machine's threads are held up; this device is made of
    // those threads. When the whole machine stood still (a virtual machine descheduled by its
    // host stops every thread at once for ten milliseconds and more), device time stands
    // still with it, or the pause would look like a driver that cannot keep up.
    const int64_t longestStep = counterFrequency_ * kMachinePauseMs / 1000;
    elapsed = std::min(elapsed, longestStep);
    const SimState* s = state();
    if (elapsed > 0 && !switchedOn(s->faults.clockStalled) && !switchedOn(s->unplugged))
        deviceTicks_ += static_cast<uint64_t>(elapsed);
}

uint64_t WaveMachine::frameNow(DWORD rate) const {
    const uint64_t frequency = static_cast<uint64_t>(counterFrequency_);
    return deviceTicks_ / frequency * rate + deviceTicks_ % frequency * rate / frequency;
}

void WaveMachine::catchUp() {
    syncTime();
    if (switchedOn(state()->unplugged)) {
        for (const StreamPtr& s : streams_)
            s->lost = true;
    }
    // Outputs first: the inputs hear what the outputs played up to the same frame.
    for (const StreamPtr& s : streams_) {
        if (s->direction == Direction::Output)
            advanceOutput(*s, frameNow(s->format.rate));
    }
    for (const StreamPtr& s : streams_) {
        if (s->direction == Direction::Input)
            advanceInput(*s, frameNow(s->format.rate));
    }
}

void WaveMachine::advanceOutput(WaveStream& out, uint64_t target) {
    const DWORD align = out.format.blockAlign;
    for (;;) {
        const bool live = out.running && !out.lost;
        if (live && !out.queue.empty() &&
            out.headBytesPlayed >= out.queue.front()->dwBufferLength) {
            finishHead(out, true);
            continue;
        }
        if (out.nextFrame >= target)
            return;
        const uint64_t frames = target - out.nextFrame;
        if (!live || out.queue.empty()) {
            if (live)
                addFrames(state()->underrunFrames, frames);
            remember(out, nullptr, 0, frames);
            out.nextFrame = target;
            return;
        }
        WAVEHDR* head = out.queue.front();
        const DWORD left = head->dwBufferLength - out.headBytesPlayed;
        const uint64_t n = std::min<uint64_t>((left + align - 1) / align, frames);
        const DWORD bytes = static_cast<DWORD>(std::min<uint64_t>(n * align, left));
        const uint8_t* from = reinterpret_cast<const uint8_t*>(head->lpData) + out.headBytesPlayed;
        record(from, bytes);
        remember(out, from, bytes, n);
        out.headBytesPlayed += bytes;
        out.nextFrame += n;
    }
}

void WaveMachine::advanceInput(WaveStream& in, uint64_t target) {
    const WaveStream* out = pairedOutput(in);
    const DWORD align = in.format.blockAlign;
    for (;;) {
        const bool live = in.running && !in.lost;
        if (live && !in.queue.empty() &&
            in.queue.front()->dwBytesRecorded >= in.queue.front()->dwBufferLength) {
            finishHead(in, true);
            continue;
        }
        if (in.nextFrame >= target)
            return;
        const uint64_t frames = target - in.nextFrame;
        if (!live || in.queue.empty()) {
            if (live)
                addFrames(state()->inOverrunFrames, frames);
            in.nextFrame = target;
            return;
        }
        WAVEHDR* head = in.queue.front();
        const DWORD left = head->dwBufferLength - head->dwBytesRecorded;
        const uint64_t n = std::min<uint64_t>((left + align - 1) / align, frames);
        uint8_t* to = reinterpret_cast<uint8_t*>(head->lpData) + head->dwBytesRecorded;
        DWORD written = 0;
        for (uint64_t k = 0; k < n; ++k) {
            const DWORD chunk = std::min<DWORD>(align, left - written);
            hear(out, in.nextFrame + k, to + written, chunk);
            written += chunk;
        }
        head->dwBytesRecorded += written;
        in.nextFrame += n;
    }
}

// The output the input of the same device index hears; none when their formats differ.
const WaveStream* WaveMachine::pairedOutput(const WaveStream& in) const {
    for (const StreamPtr& s : streams_) {
        if (s->direction != Direction::Output || s->deviceId != in.deviceId || s->lost)
            continue;
        const bool sameClock = s->format.rate == in.format.rate;
        const bool sameFrames = s->format.blockAlign == in.format.blockAlign;
        return sameClock && sameFrames ? s.get() : nullptr;
    }
    return nullptr;
}

void WaveMachine::finishHead(WaveStream& stream, bool byClock) {
    WAVEHDR* head = stream.queue.front();
    stream.finished.push_back(head);
    stream.queue.pop_front();
    head->dwFlags = (head->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    if (stream.direction == Direction::Output)
        stream.headBytesPlayed = 0;
    if (byClock) {
        SimState* s = state();
        InterlockedIncrement(stream.direction == Direction::Output ? &s->outBlocksPlayed
                                                                   : &s->inBlocksRecorded);
    }
}

void WaveMachine::tick() {
    std::vector<StreamPtr> due;
    {
        Locked l(lock_);
        catchUp();
        for (const StreamPtr& s : streams_) {
            if (!s->finished.empty())
                due.push_back(s);
        }
    }
    for (const StreamPtr& s : due)
        deliverFinished(s);
}

void WaveMachine::deliverFinished(const StreamPtr& stream) {
    Locked order(stream->delivery);
    for (;;) {
        WAVEHDR* header = nullptr;
        {
            Locked l(lock_);
            if (stream->closed || stream->finished.empty())
                return;
            header = stream->finished.front();
            stream->finished.pop_front();
        }
        notify(*stream, stream->doneMessage(), reinterpret_cast<DWORD_PTR>(header));
    }
}

void WaveMachine::deliver(WaveStream& stream, std::vector<WAVEHDR*>& done) {
    for (WAVEHDR* header : done)
        notify(stream, stream.doneMessage(), reinterpret_cast<DWORD_PTR>(header));
    done.clear();
}

void WaveMachine::notify(WaveStream& stream, UINT msg, DWORD_PTR param) {
    const NoticeTarget& t = stream.target;
    switch (t.type) {
    case CALLBACK_FUNCTION:
        if (t.callback == 0)
            return;
        try {
            reinterpret_cast<LPDRVCALLBACK>(t.callback)(static_cast<HDRVR>(stream.handle()), msg,
                                                        t.instance, param, 0);
        } catch (...) {
            OutputDebugStringA("QvK9Sim: a wave completion procedure threw\n");
        }
        return;
    case CALLBACK_EVENT:
        SetEvent(reinterpret_cast<HANDLE>(t.callback));
        return;
    case CALLBACK_WINDOW: // the MM_WOM_*/MM_WIM_* numbers equal WOM_*/WIM_*
        PostMessageA(reinterpret_cast<HWND>(t.callback), msg,
                     reinterpret_cast<WPARAM>(stream.handle()), static_cast<LPARAM>(param));
        return;
    case CALLBACK_THREAD:
        PostThreadMessageA(static_cast<DWORD>(t.callback), msg,
                           reinterpret_cast<WPARAM>(stream.handle()), static_cast<LPARAM>(param));
        return;
    default:
        return;
    }
}

bool WaveMachine::ensureClockRunning() {
    if (clock_)
        return true;
    auto clock = std::make_unique<ClockThread>();
    clock->stop = std::make_shared<UniqueHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!*clock->stop)
        return false;
    auto* param = new std::shared_ptr<UniqueHandle>(clock->stop);
    clock->thread.reset(CreateThread(nullptr, 0, clockMain, param, 0, &clock->id));
    if (!clock->thread) {
        delete param;
        return false;
    }
    clock_ = std::move(clock);
    return true;
}

void WaveMachine::endClock(std::unique_ptr<ClockThread> clock) {
    if (!clock)
        return;
    SetEvent(clock->stop->get());
    // Closed from inside a notice on the clock thread: it ends by itself once the notice returns.
    if (clock->id != GetCurrentThreadId() &&
        WaitForSingleObject(clock->thread.get(), kClockEndWaitMs) != WAIT_OBJECT_0)
        OutputDebugStringA("QvK9Sim: device clock did not end\n");
}

} // namespace sim
