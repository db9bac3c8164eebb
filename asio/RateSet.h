// The sample rates the device runs at, in the order the driver tests them.
#pragma once

constexpr double kSupportedRates[] = {44100.0, 48000.0, 96000.0, 22050.0, 8000.0,
                                      11025.0, 16000.0, 32000.0, 88200.0};

inline bool isSupportedRate(double rate) {
    for (double r : kSupportedRates) {
        if (rate == r)
            return true;
    }
    return false;
}
