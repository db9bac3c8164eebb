// Opening the simulated device's endpoints ourselves only works when no driver holds either.
#pragma once

#include "ports/WaveEndpoints.h"

inline bool deviceIsFree() {
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    WaveEndpoints& wave = waveEndpoints();
    HWAVEOUT out = nullptr;
    HWAVEIN in = nullptr;
    const bool outFree = wave.outOpen(&out, 0, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
    const bool inFree = wave.inOpen(&in, 0, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
    if (outFree)
        wave.outClose(out);
    if (inFree)
        wave.inClose(in);
    return outFree && inFree;
}
