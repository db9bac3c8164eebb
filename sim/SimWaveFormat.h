// Which wave formats the simulated device plays and records: stereo PCM, 16 or 24 bits.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

namespace sim {

struct StreamFormat {
    DWORD rate = 0;
    WORD blockAlign = 0;
};

// MMSYSERR_NOERROR with `accepted` and `copy` filled (copy: the caller's record as far as its
// tag says it reaches), WAVERR_BADFORMAT for a format the device cannot run, MMSYSERR_INVALPARAM
// for no format at all.
MMRESULT acceptFormat(const WAVEFORMATEX* format, StreamFormat* accepted,
                      WAVEFORMATEXTENSIBLE* copy);

// The standard-format bits of the capabilities (the stereo 16-bit rates of the old table).
constexpr DWORD kStandardFormats =
    WAVE_FORMAT_1S16 | WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16 | WAVE_FORMAT_48S16 | WAVE_FORMAT_96S16;

} // namespace sim
