#include "SoakPlan.h"

#include "asio/RateSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace asiohost {

namespace {

constexpr int kWidths[] = {16, 24, 32};

// splitmix64: every draw of a session follows from its seed and number alone.
class Draws {
public:
    Draws(uint64_t seed, int64_t session)
        : state_(seed * 0x9E3779B97F4A7C15ull ^
                 (static_cast<uint64_t>(session) + 1) * 0xD1B54A32D192ED03ull) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    bool chance(int percent) { return below(100) < percent; }

private:
    uint64_t state_;
};

long clampTo(long value, long minimum, long maximum) {
    return std::max(minimum, std::min(value, maximum));
}

const char* sizeName(SizeRequest size) {
    switch (size) {
    case SizeRequest::Preferred:
        return "preferred";
    case SizeRequest::InRange:
        return "in range";
    case SizeRequest::BelowMinimum:
        return "below the minimum";
    case SizeRequest::AboveMaximum:
        return "above the maximum";
    case SizeRequest::OffGranularity:
        return "off the granularity";
    }
    return "?";
}

} // namespace

SessionPlan planSession(uint64_t seed, int64_t session) {
    Draws d(seed, session);
    SessionPlan p;
    p.seed = seed;
    p.session = session;
    p.rate = kSupportedRates[d.below(9)];
    p.bits = kWidths[d.below(3)];
    // Small buffers most of the time: that is where hosts meet the driver's edges.
    const int sizeRoll = d.below(100);
    p.size = sizeRoll < 15   ? SizeRequest::Preferred
             : sizeRoll < 80 ? SizeRequest::InRange
             : sizeRoll < 87 ? SizeRequest::BelowMinimum
             : sizeRoll < 93 ? SizeRequest::AboveMaximum
                             : SizeRequest::OffGranularity;
    // Most in-range sizes sit among the smallest sixteenth of the range, the rest anywhere.
    p.sizeDraw = d.chance(70) ? d.unit() / 16 : d.unit();
    p.loopbackPair = d.chance(75);
    p.inputMask = static_cast<uint32_t>(d.next());
    p.outputMask = static_cast<uint32_t>(d.next());
    p.timeInfo = d.chance(50);
    // Weighted so that the slow styles, which wait out the driver's own time limits, stay a
    // small part of a long run's time.
    const int styleRoll = d.below(100);
    p.style = styleRoll < 30   ? HostStyle::Callback
              : styleRoll < 50 ? HostStyle::BlockingReader
              : styleRoll < 62 ? HostStyle::StopInCallback
              : styleRoll < 68 ? HostStyle::SlowCallback
              : styleRoll < 80 ? HostStyle::ReleaseWithoutStop
                               : HostStyle::SecondObject;
    p.streamMs = d.between(40, 160);
    p.eventSwitch = d.between(1, 24);
    p.holdUntilStop = d.chance(50);
    p.slowMs = d.between(1050, 1400);
    p.freshApartment = d.chance(20);
    p.endWhileCallbackStops = d.chance(50);
    return p;
}

long requestedFrames(const SessionPlan& plan, long minimum, long maximum, long preferred,
                     long granularity) {
    const long step = granularity > 0 ? granularity : 1;
    const long span = std::max(0L, maximum - minimum);
    const long inside = minimum + static_cast<long>(plan.sizeDraw * static_cast<double>(span));
    switch (plan.size) {
    case SizeRequest::Preferred:
        return preferred;
    case SizeRequest::InRange:
        return fittedFrames(inside, minimum, maximum, granularity);
    case SizeRequest::BelowMinimum:
        return std::max(1L, minimum - 1 - static_cast<long>(plan.sizeDraw * minimum));
    case SizeRequest::AboveMaximum:
        return maximum + 1 + static_cast<long>(plan.sizeDraw * maximum);
    case SizeRequest::OffGranularity: {
        const long on = fittedFrames(inside, minimum, maximum, granularity);
        if (step > 1 && on + 1 <= maximum)
            return on + 1;
        return on;
    }
    }
    return preferred;
}

long fittedFrames(long requested, long minimum, long maximum, long granularity) {
    if (maximum < minimum)
        return minimum;
    long value = clampTo(requested, minimum, maximum);
    if (granularity == -1) {
        long power = 1;
        while (power < value && power <= maximum / 2)
            power *= 2;
        return clampTo(power, minimum, maximum);
    }
    if (granularity > 1) {
        const long offset = (value - minimum) % granularity;
        value -= offset;
        if (offset * 2 >= granularity && value + granularity <= maximum)
            value += granularity;
    }
    return value;
}

std::vector<long> chosenChannels(uint32_t mask, bool withPair, long available) {
    std::vector<long> channels;
    const long limit = std::min<long>(available, 32);
    for (long c = 0; c < limit; ++c) {
        const bool inPair = withPair && c < 2;
        if (inPair || (mask >> c) & 1u)
            channels.push_back(c);
    }
    if (channels.empty() && available > 0)
        channels.push_back(static_cast<long>(mask % static_cast<uint32_t>(limit)));
    return channels;
}

const char* styleName(HostStyle style) {
    switch (style) {
    case HostStyle::Callback:
        return "callback";
    case HostStyle::BlockingReader:
        return "blocking reader";
    case HostStyle::StopInCallback:
        return "stop in callback";
    case HostStyle::SlowCallback:
        return "slow callback";
    case HostStyle::ReleaseWithoutStop:
        return "release without stop";
    case HostStyle::SecondObject:
        return "second object";
    }
    return "?";
}

std::string describePlan(const SessionPlan& p) {
    char text[256];
    std::snprintf(text, sizeof text, "%.0f Hz, %d bit, size %s, %s, %s%s, %s%s", p.rate, p.bits,
                  sizeName(p.size), p.timeInfo ? "time info" : "bufferSwitch", styleName(p.style),
                  p.style == HostStyle::SlowCallback
                      ? (p.holdUntilStop ? " (held until stop returns)" : " (blocks)")
                  : p.style == HostStyle::StopInCallback && p.endWhileCallbackStops
                      ? " (the host ends the stream meanwhile)"
                      : "",
                  p.loopbackPair ? "loopback pair" : "no loopback pair",
                  p.freshApartment ? ", COM ends with the session" : "");
    return text;
}

} // namespace asiohost
