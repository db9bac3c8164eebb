// The wave devices of the simulated machine as one process sees them: the handles it opened and
// the device clock that plays and records their queued headers in real time.
//
// The clock is a thread of its own at time-critical priority, running while any handle is open.
// It reads the time from the performance counter, so a late wake-up only means a larger step,
// never a slower device. Notices of finished headers leave from the clock thread, as the wave
// subsystem's do; reset, stop and close return what they take back before they return.
// No notice is ever delivered while the machine's lock is held: a completion procedure may call
// wave functions again, from its own thread or another.
//
// Input device n hears output device n after the loopback delay, frame for frame on the same
// clock, when both run the same rate and frame size; otherwise it hears silence. A device takes
// one stream per direction in a process, as the hardware's endpoints do.
#pragma once

#include "common/CriticalSection.h"
#include "WaveStream.h"

#include "common/UniqueResource.h"

#include <memory>
#include <vector>

namespace sim {

class WaveMachine {
public:
    static WaveMachine& instance();

    MMRESULT open(Direction dir, HANDLE* handle, UINT deviceId, const WAVEFORMATEX* format,
                  DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    MMRESULT prepare(Direction dir, HANDLE handle, WAVEHDR* header, UINT size);
    MMRESULT unprepare(Direction dir, HANDLE handle, WAVEHDR* header, UINT size);
    // waveOutWrite and waveInAddBuffer.
    MMRESULT enqueue(Direction dir, HANDLE handle, WAVEHDR* header, UINT size);
    MMRESULT reset(Direction dir, HANDLE handle);
    MMRESULT start(HANDLE handle);
    MMRESULT stop(HANDLE handle);
    MMRESULT close(Direction dir, HANDLE handle);

    // One step of the device clock: bring every stream to the present, then deliver the notices.
    void tick();

private:
    using StreamPtr = std::shared_ptr<WaveStream>;
    struct ClockThread {
        UniqueHandle thread;
        std::shared_ptr<UniqueHandle> stop; // shared with the thread, which outlives a self-close
        DWORD id = 0;
    };

    WaveMachine();

    // Under lock_.
    WaveStream* find(Direction dir, HANDLE handle);
    StreamPtr share(const WaveStream* stream);
    // The stream of a handle, held so that it outlives a close on another thread; null if none.
    StreamPtr lookUp(Direction dir, HANDLE handle);
    void syncTime();
    uint64_t frameNow(DWORD rate) const;
    void catchUp();
    void advanceOutput(WaveStream& out, uint64_t target);
    void advanceInput(WaveStream& in, uint64_t target);
    void finishHead(WaveStream& stream, bool byClock);
    const WaveStream* pairedOutput(const WaveStream& in) const;

    // Not under lock_.
    void deliver(WaveStream& stream, std::vector<WAVEHDR*>& done);
    void deliverFinished(const StreamPtr& stream);
    static void notify(WaveStream& stream, UINT msg, DWORD_PTR param);
    bool ensureClockRunning();
    static void endClock(std::unique_ptr<ClockThread> clock);

    CriticalSection lock_;      // streams, their queues and the device time
    CriticalSection lifecycle_; // starting and ending the clock thread with the first/last open
    std::vector<StreamPtr> streams_;
    std::unique_ptr<ClockThread> clock_; // guarded by lifecycle_
    int64_t counterFrequency_ = 1;
    int64_t lastCounter_ = 0;
    uint64_t deviceTicks_ = 0; // counter ticks the device clock has run (not while stalled)
};

} // namespace sim
