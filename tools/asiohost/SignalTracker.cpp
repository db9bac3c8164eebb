#include "SignalTracker.h"

namespace asiohost {

bool SignalSummary::faultSeen() const {
    return lostFrames > 0 || jumpCount(JumpKind::Ahead) > 0 || jumpCount(JumpKind::Repeat) > 0 ||
           jumpCount(JumpKind::OutOfOrder) > 0 || silentFrames > 0 || corruptFrames > 0 ||
           swappedFrames > 0 || gapListFull;
}

void SignalTracker::onFrame(int64_t inputPosition, DecodedFrame frame) {
    if (finished_)
        return;
    if (frame.kind == FrameKind::Swapped)
        ++s_.swappedFrames;
    if (!s_.arrived && frame.kind != FrameKind::Valid) {
        ++s_.framesBeforeArrival;
        if (frame.kind != FrameKind::Silent)
            ++s_.noiseBeforeArrival;
        return;
    }
    if (frame.kind != FrameKind::Valid)
        ++invalidRun_;
    switch (frame.kind) {
    case FrameKind::Valid:
        lastWasSilent_ = false;
        onValid(inputPosition, unwrap(frame.number, inputPosition));
        invalidRun_ = 0;
        return;
    case FrameKind::Silent:
        ++s_.silentFrames;
        if (!lastWasSilent_)
            ++s_.silentRuns;
        lastWasSilent_ = true;
        return;
    case FrameKind::Corrupt:
        ++s_.corruptFrames;
        break;
    case FrameKind::Swapped:
        break;
    }
    lastWasSilent_ = false;
}

// The signal carries 24 bits of the frame number. The first frame is the newest output frame
// with those bits that is not later than its input position (nothing comes back before it was
// sent); every later one is the frame with those bits nearest to the one expected.
int64_t SignalTracker::unwrap(uint32_t number, int64_t inputPosition) const {
    constexpr int64_t kSpan = int64_t{1} << kFrameNumberBits;
    if (!s_.arrived) {
        const int64_t behind = (inputPosition - number) & (kSpan - 1);
        return inputPosition - behind;
    }
    int64_t diff = (static_cast<int64_t>(number) - expected_) & (kSpan - 1);
    if (diff >= kSpan / 2)
        diff -= kSpan;
    return expected_ + diff;
}

void SignalTracker::onValid(int64_t inputPosition, int64_t frame) {
    ++s_.validFrames;
    const int64_t latency = inputPosition - frame;
    if (!s_.arrived) {
        s_.arrived = true;
        s_.arrivalInputPosition = inputPosition;
        s_.firstFrame = frame;
        s_.firstLatency = s_.minLatency = s_.maxLatency = latency;
        s_.highestFrame = frame;
        // Everything the host wrote before the first frame seen should have come back first.
        if (frame > 0)
            addGap(0, frame);
        runStart_ = frame;
        expected_ = frame + 1;
        newestEnd_ = expected_;
        return;
    }
    if (latency < s_.minLatency)
        s_.minLatency = latency;
    if (latency > s_.maxLatency)
        s_.maxLatency = latency;
    if (frame > s_.highestFrame)
        s_.highestFrame = frame;
    if (frame == expected_) {
        ++expected_;
        return;
    }
    // Silence or damage in the place of signal frames: the stream goes on where it should, so
    // this is no jump, but those frames never came back intact.
    if (invalidRun_ > 0 && frame == expected_ + invalidRun_) {
        s_.replacedFrames += invalidRun_;
        closeRun();
        addGap(expected_, frame);
        runStart_ = frame;
        expected_ = frame + 1;
        return;
    }

    closeRun();
    JumpKind kind;
    if (frame >= newestEnd_) {
        kind = frame == newestEnd_ ? JumpKind::Resume : JumpKind::Ahead;
        if (frame > newestEnd_)
            addGap(newestEnd_, frame);
    } else {
        kind = inGap(frame) ? JumpKind::OutOfOrder : JumpKind::Repeat;
    }
    noteJump(kind, inputPosition, frame);
    runStart_ = frame;
    expected_ = frame + 1;
}

void SignalTracker::noteJump(JumpKind kind, int64_t inputPosition, int64_t frame) {
    ++s_.jumps[static_cast<int>(kind)];
    if (s_.jumpLogCount < SignalSummary::kJumpLogSize)
        s_.jumpLog[s_.jumpLogCount++] = {kind, inputPosition, expected_, frame};
}

void SignalTracker::finish() {
    if (finished_)
        return;
    finished_ = true;
    closeRun();
    s_.lostFrames = 0;
    for (int i = 0; i < gapCount_; ++i)
        s_.lostFrames += gaps_[i].end - gaps_[i].begin;
    s_.lostGaps = gapCount_;
}

// The frames of the run that just ended came back: they are no longer missing.
void SignalTracker::closeRun() {
    if (!s_.arrived)
        return;
    removeRange(runStart_, expected_);
    if (expected_ > newestEnd_)
        newestEnd_ = expected_;
}

void SignalTracker::addGap(int64_t begin, int64_t end) {
    if (gapCount_ > 0 && gaps_[gapCount_ - 1].end == begin) {
        gaps_[gapCount_ - 1].end = end;
        return;
    }
    if (gapCount_ == kMaxGaps) {
        s_.gapListFull = true;
        return;
    }
    gaps_[gapCount_++] = {begin, end};
}

void SignalTracker::removeRange(int64_t begin, int64_t end) {
    int i = 0;
    while (i < gapCount_) {
        FrameGap& g = gaps_[i];
        if (end <= g.begin || begin >= g.end) {
            ++i;
            continue;
        }
        if (begin <= g.begin && end >= g.end) {
            g = gaps_[--gapCount_];
            continue;
        }
        if (begin <= g.begin) {
            g.begin = end;
        } else if (end >= g.end) {
            g.end = begin;
        } else {
            const FrameGap tail{end, g.end};
            g.end = begin;
            if (gapCount_ < kMaxGaps)
                gaps_[gapCount_++] = tail;
            else
                s_.gapListFull = true;
        }
        ++i;
    }
}

bool SignalTracker::inGap(int64_t frame) const {
    for (int i = 0; i < gapCount_; ++i)
        if (frame >= gaps_[i].begin && frame < gaps_[i].end)
            return true;
    return false;
}

} // namespace asiohost
