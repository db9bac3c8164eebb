#include "StreamActivity.h"

#include "SharedRead.h"
#include "SimDeviceState.h"

namespace sim {

namespace {

int indexOf(Direction dir) {
    return dir == Direction::Output ? 0 : 1;
}

} // namespace

LONG noteStreamOpened(Direction dir, const WAVEFORMATEXTENSIBLE& format) {
    SimState* s = state();
    SimStreamActivity& activity = s->streamActivity[indexOf(dir)];
    const SimChosenFormat chosen = readChosen(s->chosenFormat[indexOf(dir)]);
    // 24-bit samples travel as 32 on the filter's wire.
    const WORD bits = format.Format.wBitsPerSample;
    const uint8_t wireBits = static_cast<uint8_t>(bits == 24 ? 32 : bits);
    activity.rate = format.Format.nSamplesPerSec;
    activity.wireBits = wireBits;
    // A stream keeps the format it opened with; it counts as the fixed choice only when it is.
    activity.fixed =
        chosen.fixed != 0 && chosen.rate == activity.rate && chosen.wireBits == wireBits;
    MemoryBarrier();
    InterlockedIncrement(&activity.running);
    return sharedRead(s->plugGeneration);
}

void noteStreamClosed(Direction dir, LONG generation) {
    SimState* s = state();
    if (generation != sharedRead(s->plugGeneration))
        return; // opened before an unplug: the device forgot it when it came back
    volatile LONG& running = s->streamActivity[indexOf(dir)].running;
    for (LONG now = running; now > 0; now = running) {
        if (InterlockedCompareExchange(&running, now - 1, now) == now)
            break;
    }
}

void forgetStreams() {
    SimState* s = state();
    InterlockedIncrement(&s->plugGeneration);
    InterlockedExchange(&s->streamActivity[0].running, 0);
    InterlockedExchange(&s->streamActivity[1].running, 0);
}

} // namespace sim
