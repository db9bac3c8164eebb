// The handle operations of the simulated wave devices, answering as the wave functions do.
#include "WaveMachine.h"

#include "SharedRead.h"
#include "SimDeviceState.h"
#include "StreamActivity.h"

#include <algorithm>

namespace sim {

namespace {

bool knownNoticeType(DWORD type) {
    return type == CALLBACK_NULL || type == CALLBACK_FUNCTION || type == CALLBACK_EVENT ||
           type == CALLBACK_WINDOW || type == CALLBACK_THREAD;
}

UINT deviceCount(Direction dir) {
    const SimState* s = state();
    const int32_t count =
        sharedRead(dir == Direction::Output ? s->outDeviceCount : s->inDeviceCount);
    return static_cast<UINT>(std::clamp(count, 0, kMaxWaveDevices));
}

bool headerUsable(const WAVEHDR* header, UINT size) {
    return header != nullptr && size >= sizeof(WAVEHDR);
}

} // namespace

WaveMachine& WaveMachine::instance() {
    // Never destroyed: the clock thread may still run while the process's statics go away.
    static WaveMachine* machine = new WaveMachine();
    return *machine;
}

WaveMachine::WaveMachine() {
    LARGE_INTEGER value = {};
    QueryPerformanceFrequency(&value);
    counterFrequency_ = value.QuadPart > 0 ? value.QuadPart : 1;
    QueryPerformanceCounter(&value);
    lastCounter_ = value.QuadPart;
}

WaveStream* WaveMachine::find(Direction dir, HANDLE handle) {
    for (const StreamPtr& s : streams_) {
        if (s->handle() == handle && s->direction == dir)
            return s.get();
    }
    return nullptr;
}

WaveMachine::StreamPtr WaveMachine::share(const WaveStream* stream) {
    for (const StreamPtr& s : streams_) {
        if (s.get() == stream)
            return s;
    }
    return nullptr;
}

WaveMachine::StreamPtr WaveMachine::lookUp(Direction dir, HANDLE handle) {
    Locked l(lock_);
    return share(find(dir, handle));
}

MMRESULT WaveMachine::open(Direction dir, HANDLE* handle, UINT deviceId, const WAVEFORMATEX* format,
                           DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (handle != nullptr && !query)
        *handle = nullptr;
    if (handle == nullptr && !query)
        return MMSYSERR_INVALPARAM;
    const NoticeTarget target{flags & CALLBACK_TYPEMASK, callback, instance};
    if (!knownNoticeType(target.type))
        return MMSYSERR_INVALFLAG;
    SimState* s = state();
    if (switchedOn(s->unplugged))
        return MMSYSERR_NODRIVER;
    if (deviceId == WAVE_MAPPER)
        deviceId = 0;
    if (deviceId >= deviceCount(dir))
        return MMSYSERR_BADDEVICEID;
    StreamFormat accepted;
    WAVEFORMATEXTENSIBLE record = {};
    if (MMRESULT r = acceptFormat(format, &accepted, &record); r != MMSYSERR_NOERROR)
        return r;
    const bool output = dir == Direction::Output;
    if (switchedOn(output ? s->faults.outOpenFails : s->faults.inOpenFails))
        return MMSYSERR_ALLOCATED;
    if (query)
        return MMSYSERR_NOERROR;

    auto stream = std::make_shared<WaveStream>();
    stream->direction = dir;
    stream->deviceId = deviceId;
    stream->format = accepted;
    stream->target = target;
    if (output)
        stream->history.assign(kLoopbackHistoryFrames * accepted.blockAlign, 0);
    {
        Locked life(lifecycle_);
        {
            Locked l(lock_);
            // One stream per device and direction, as the hardware has; a handle left over from
            // before an unplug does not hold the device that came back.
            for (const StreamPtr& other : streams_) {
                if (other->direction == dir && other->deviceId == deviceId && !other->lost)
                    return MMSYSERR_ALLOCATED;
            }
            syncTime();
            stream->openFrame = stream->nextFrame = frameNow(accepted.rate);
            streams_.push_back(stream);
        }
        if (!ensureClockRunning()) {
            Locked l(lock_);
            streams_.pop_back();
            return MMSYSERR_NOMEM;
        }
    }
    InterlockedIncrement(output ? &s->outOpenCount : &s->inOpenCount);
    (output ? s->lastOutFormat : s->lastInFormat) = record;
    stream->plugGeneration = noteStreamOpened(dir, record);
    *handle = stream->handle();
    notify(*stream, output ? WOM_OPEN : WIM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::prepare(Direction dir, HANDLE handle, WAVEHDR* header, UINT size) {
    Locked l(lock_);
    if (find(dir, handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!headerUsable(header, size) || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (switchedOn(state()->faults.prepareFails))
        return MMSYSERR_NOMEM;
    if (header->dwFlags & WHDR_PREPARED)
        return MMSYSERR_NOERROR;
    header->dwFlags = (header->dwFlags | WHDR_PREPARED) & ~WHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::unprepare(Direction dir, HANDLE handle, WAVEHDR* header, UINT size) {
    Locked l(lock_);
    if (find(dir, handle) == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!headerUsable(header, size))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::enqueue(Direction dir, HANDLE handle, WAVEHDR* header, UINT size) {
    Locked l(lock_);
    WaveStream* stream = find(dir, handle);
    if (stream == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!headerUsable(header, size) || (header->lpData == nullptr && header->dwBufferLength != 0))
        return MMSYSERR_INVALPARAM;
    const SimState* s = state();
    if (switchedOn(s->unplugged))
        stream->lost = true;
    if (stream->lost)
        return MMSYSERR_NODRIVER;
    const bool output = dir == Direction::Output;
    if (switchedOn(output ? s->faults.outWriteFails : s->faults.inQueueFails))
        return MMSYSERR_ERROR;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;

    // Up to now the device played silence or recorded into what was queued before.
    catchUp();
    stream->queue.push_back(header);
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    if (output)
        stream->running = true; // an output plays from its first block on
    else
        header->dwBytesRecorded = 0;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::reset(Direction dir, HANDLE handle) {
    const StreamPtr stream = lookUp(dir, handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    std::vector<WAVEHDR*> done;
    Locked order(stream->delivery);
    {
        Locked l(lock_);
        if (stream->closed)
            return MMSYSERR_INVALHANDLE;
        catchUp();
        while (!stream->queue.empty())
            finishHead(*stream, false);
        stream->running = false;
        done.assign(stream->finished.begin(), stream->finished.end());
        stream->finished.clear();
    }
    deliver(*stream, done);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::start(HANDLE handle) {
    Locked l(lock_);
    WaveStream* stream = find(Direction::Input, handle);
    if (stream == nullptr)
        return MMSYSERR_INVALHANDLE;
    const SimState* s = state();
    if (switchedOn(s->unplugged))
        stream->lost = true;
    if (stream->lost)
        return MMSYSERR_NODRIVER;
    if (switchedOn(s->faults.inStartFails))
        return MMSYSERR_ERROR;
    catchUp(); // what passed before the start is not recorded
    stream->running = true;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::stop(HANDLE handle) {
    StreamPtr stream;
    {
        Locked l(lock_);
        stream = share(find(Direction::Input, handle));
    }
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    std::vector<WAVEHDR*> done;
    Locked order(stream->delivery);
    {
        Locked l(lock_);
        if (stream->closed)
            return MMSYSERR_INVALHANDLE;
        catchUp();
        // The block being filled comes back with what it holds; empty ones stay queued.
        if (stream->running && !stream->queue.empty() && stream->queue.front()->dwBytesRecorded > 0)
            finishHead(*stream, false);
        stream->running = false;
        done.assign(stream->finished.begin(), stream->finished.end());
        stream->finished.clear();
    }
    deliver(*stream, done);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveMachine::close(Direction dir, HANDLE handle) {
    const StreamPtr stream = lookUp(dir, handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    std::vector<WAVEHDR*> done;
    std::unique_ptr<ClockThread> ending;
    {
        Locked order(stream->delivery);
        {
            Locked life(lifecycle_);
            Locked l(lock_);
            if (stream->closed)
                return MMSYSERR_INVALHANDLE;
            catchUp();
            if (!stream->queue.empty())
                return WAVERR_STILLPLAYING;
            done.assign(stream->finished.begin(), stream->finished.end());
            stream->finished.clear();
            stream->closed = true;
            streams_.erase(std::find(streams_.begin(), streams_.end(), stream));
            if (streams_.empty())
                ending = std::move(clock_);
        }
        noteStreamClosed(dir, stream->plugGeneration);
        deliver(*stream, done);
        notify(*stream, dir == Direction::Output ? WOM_CLOSE : WIM_CLOSE, 0);
    }
    endClock(std::move(ending));
    return MMSYSERR_NOERROR;
}

} // namespace sim
