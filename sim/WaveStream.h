// One open handle of a wave device of the simulated machine: its format, where its notices go,
// the headers the application queued, and where the device clock stands in it.
#pragma once

#include "common/CriticalSection.h"
#include "SimWaveFormat.h"

#include <windows.h>
#include <mmsystem.h>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

enum class Direction { Output, Input };

// How far back the loopback remembers what an output played: over two seconds at any rate.
constexpr uint64_t kLoopbackHistoryFrames = uint64_t{1} << 18;

// What the open call's flags asked for: a function, an event, a window or a thread.
struct NoticeTarget {
    DWORD type = CALLBACK_NULL;
    DWORD_PTR callback = 0;
    DWORD_PTR instance = 0;
};

struct WaveStream {
    Direction direction = Direction::Output;
    UINT deviceId = 0;
    StreamFormat format;
    NoticeTarget target;
    // Held while this handle's notices are delivered, so they leave in completion order even
    // when a reset on another thread returns headers while the clock is completing one.
    CriticalSection delivery;

    // Everything below is guarded by the machine's lock.
    std::deque<WAVEHDR*> queue;    // the head is being played or filled
    DWORD headBytesPlayed = 0;     // output: bytes of the head already gone to the device
    std::deque<WAVEHDR*> finished; // done, notice not delivered yet
    uint64_t openFrame = 0;        // device frame (at this stream's rate) when opened
    uint64_t nextFrame = 0;        // first device frame the clock has not handled yet
    // Output: from the first write after open or reset; input: between start and stop.
    bool running = false;
    bool lost = false; // the device was unplugged while this handle was open
    bool closed = false;
    LONG plugGeneration = 0; // when the device's stream status counted this stream
    // Output: the frames of the last seconds as they went out, for the loopback to the input.
    std::vector<uint8_t> history;

    HANDLE handle() { return reinterpret_cast<HANDLE>(this); }
    UINT doneMessage() const { return direction == Direction::Output ? WOM_DONE : WIM_DATA; }
};

} // namespace sim
