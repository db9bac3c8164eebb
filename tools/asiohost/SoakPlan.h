// What one soak session does, drawn from the run's seed and the session's number alone, so that
// any session can be replayed by itself. The plan holds draws, not driver facts: the buffer size
// and the channels are fitted to what the driver reports once it is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace asiohost {

// How the host around the stream behaves; every one is a way real hosts have.
enum class HostStyle {
    Callback,           // does its work in the buffer switch
    BlockingReader,     // a host thread reads and writes through rings beside the callback
    StopInCallback,     // calls stop from inside its own callback
    SlowCallback,       // one callback blocks past the driver's own waits
    ReleaseWithoutStop, // releases the running driver without stop or disposeBuffers
    SecondObject,       // creates and releases a second driver object mid-stream
};
constexpr int kHostStyleCount = 6;

enum class SizeRequest {
    Preferred,
    InRange,        // a size on the granularity between the limits
    BelowMinimum,   // refused, then fitted as hosts fit it
    AboveMaximum,   // refused, then fitted
    OffGranularity, // between the limits but off the granularity
};
constexpr int kSizeRequestCount = 5;

struct SessionPlan {
    uint64_t seed = 0;
    int64_t session = 0;
    double rate = 48000;
    int bits = 16;
    SizeRequest size = SizeRequest::Preferred;
    double sizeDraw = 0;      // [0, 1): where between the limits
    bool loopbackPair = true; // inputs 0/1 and outputs 0/1 in the buffer set, signal checked
    uint32_t inputMask = 0, outputMask = 0; // the other channels taken
    bool timeInfo = true;
    HostStyle style = HostStyle::Callback;
    int streamMs = 100;         // audio time before the host ends the stream
    int eventSwitch = 1;        // the switch at which the style's event happens
    bool holdUntilStop = false; // SlowCallback: blocked until the host's stop has returned
    int slowMs = 0;             // SlowCallback: how long the callback blocks otherwise
    // StopInCallback: the host's main thread ends the stream (stop, disposeBuffers, Release)
    // while the callback's own stop is still running, instead of waiting for it.
    bool endWhileCallbackStops = false;
    bool freshApartment = false; // COM (and so the driver's module) ends with the session
};

// The same seed and session always give the same plan.
SessionPlan planSession(uint64_t seed, int64_t session);

// The size a session asks for first, and the size a host then fits it to (nearest on the
// granularity inside the limits); a granularity of -1 means powers of two.
long requestedFrames(const SessionPlan& plan, long minimum, long maximum, long preferred,
                     long granularity);
long fittedFrames(long requested, long minimum, long maximum, long granularity);

// The channels of one direction the session puts in its buffer set; never empty when the
// driver has any.
std::vector<long> chosenChannels(uint32_t mask, bool withPair, long available);

const char* styleName(HostStyle style);
// "48000 Hz, 24 bit, 256 frames asked (in range), time info, blocking reader, ..."
std::string describePlan(const SessionPlan& plan);

} // namespace asiohost
