// Follows the decoded input frame by frame and keeps account of what came back: when the signal
// arrived, the round-trip latency, and every way the stream can go wrong once it has arrived
// (jumps ahead, repeats, late blocks, silence, damaged frames). It allocates nothing after
// construction, so the buffer-switch callback can feed it directly.
#pragma once

#include "LoopbackSignal.h"

#include <cstdint>

namespace asiohost {

enum class JumpKind {
    Ahead,      // frames were skipped: lost, unless they turn up later
    Resume,     // back at the newest frame after a repeat or a late block: not a fault itself
    Repeat,     // frames that had already come back come again
    OutOfOrder, // frames that had been skipped arrive late
};

struct Jump {
    JumpKind kind;
    int64_t inputPosition; // input stream position where it happened
    int64_t expectedFrame; // the output frame that should have come
    int64_t foundFrame;    // the output frame that came
};

// An output-frame range [begin, end) that has not come back (yet).
struct FrameGap {
    int64_t begin;
    int64_t end;
};

struct SignalSummary {
    bool arrived = false;
    int64_t arrivalInputPosition = 0;
    int64_t firstFrame = 0;   // the output frame that came back first (0 when nothing was lost)
    int64_t firstLatency = 0; // input position minus output frame, at arrival
    int64_t minLatency = 0;
    int64_t maxLatency = 0;

    int64_t framesBeforeArrival = 0;
    int64_t noiseBeforeArrival = 0; // non-silent but undecodable frames before the signal
    int64_t validFrames = 0;
    int64_t silentFrames = 0; // after arrival
    int64_t silentRuns = 0;
    int64_t corruptFrames = 0;  // after arrival
    int64_t replacedFrames = 0; // silent or damaged frames that stood in the place of signal
    int64_t swappedFrames = 0;  // after arrival, left and right exchanged

    int64_t jumps[4] = {}; // by JumpKind
    // Output frames below the newest one seen that never came back intact.
    int64_t lostFrames = 0;
    int64_t lostGaps = 0;
    int64_t highestFrame = -1; // newest output frame seen
    bool gapListFull = false;  // too many separate gaps to follow: lostFrames is a lower bound

    static constexpr int kJumpLogSize = 12;
    Jump jumpLog[kJumpLogSize] = {};
    int jumpLogCount = 0;

    int64_t jumpCount(JumpKind k) const { return jumps[static_cast<int>(k)]; }
    // Anything that means the audio was not carried intact once it had arrived.
    bool faultSeen() const;
};

class SignalTracker {
public:
    void onFrame(int64_t inputPosition, DecodedFrame frame);
    // Closes the current run; call once after the last frame, before reading lostFrames.
    void finish();
    const SignalSummary& summary() const { return s_; }

private:
    static constexpr int kMaxGaps = 64;

    void onValid(int64_t inputPosition, int64_t frame);
    void noteJump(JumpKind kind, int64_t inputPosition, int64_t frame);
    void closeRun();
    void addGap(int64_t begin, int64_t end);
    void removeRange(int64_t begin, int64_t end);
    bool inGap(int64_t frame) const;
    int64_t unwrap(uint32_t number, int64_t near) const;

    SignalSummary s_;
    int64_t runStart_ = 0;
    int64_t expected_ = 0;  // next frame of the current run
    int64_t newestEnd_ = 0; // one past the newest frame of all closed runs
    bool lastWasSilent_ = false;
    int64_t invalidRun_ = 0; // frames since the last valid one that were not signal
    bool finished_ = false;
    FrameGap gaps_[kMaxGaps] = {};
    int gapCount_ = 0;
};

} // namespace asiohost
