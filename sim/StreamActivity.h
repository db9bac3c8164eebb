// What the simulated device's topology filter reports as running: the wave machine tells it when
// a stream opens (with its format) and closes, in whatever process the stream lives.
#pragma once

#include "WaveStream.h"

#include <mmreg.h>

namespace sim {

// Returns the plug generation the stream belongs to; hand it back at close.
LONG noteStreamOpened(Direction dir, const WAVEFORMATEXTENSIBLE& format);
void noteStreamClosed(Direction dir, LONG generation);
// The device came back: nothing runs on it.
void forgetStreams();

} // namespace sim
