// The host side of one soak session's stream: the buffers and callbacks the driver gets, what
// the callbacks do in the plan's host style, and what the host's main thread learns from them.
// Everything the callbacks write to is allocated before start.
#pragma once

#include "LoopbackSignal.h"
#include "SignalTracker.h"
#include "SoakPlan.h"
#include "asio/AsioInterface.h"
#include "common/UniqueResource.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace asiohost {

struct SoakChannel {
    bool input;
    long number;
    SampleLayout layout;
};

class SoakStream {
public:
    SoakStream(const SessionPlan& plan, IASIO* driver);
    ~SoakStream();
    SoakStream(const SoakStream&) = delete;
    SoakStream& operator=(const SoakStream&) = delete;

    bool eventsMade() const { return firstSwitch_ && blockArrived_ && holdRelease_ && styleDone_; }

    // ---- before start ----
    void addChannel(const SoakChannel& c);
    bool hasLoopbackPair() const {
        return inLeft_ >= 0 && inRight_ >= 0 && outLeft_ >= 0 && outRight_ >= 0;
    }
    ASIOError createBuffers(long frames);
    // False on a null buffer; the buffers are cleared otherwise.
    bool buffersUsable();
    // Makes this the stream the callbacks serve; the signal is followed when `checkSignal`.
    void prepare(bool checkSignal, int eventSwitch);

    // ---- while and after it streams, on the host's main thread ----
    bool waitFirstSwitch(DWORD ms) { return WaitForSingleObject(firstSwitch_.get(), ms) == 0; }
    bool waitStyleEvent(DWORD ms) { return WaitForSingleObject(styleDone_.get(), ms) == 0; }
    void releaseHeldCallback() { SetEvent(holdRelease_.get()); }
    // From here on a switch that begins counts as late.
    void close() { closed_.store(true); }
    bool waitCallbacksLeft(DWORD ms) const;
    // The blocking reader: 1 when a read gave up, else 0.
    int64_t readBeside(double streamMs, double bufferMs);

    int64_t switches() const { return switches_.load(); }
    int64_t lateCallbacks() const { return late_.load(); }
    int64_t badHalves() const { return badHalf_.load(); }
    ASIOError stopFromCallbackResult() const { return stopInCallbackResult_.load(); }
    double longestGapMs() const;
    int64_t longestGapSwitch() const { return longestGapAt_.load(); }
    bool signalChecked() const { return checkSignal_; }
    SignalSummary finishSignal() {
        tracker_.finish();
        return tracker_.summary();
    }

private:
    // Blocks of the loopback pair between the callback and the host's reading thread: one
    // writer, one reader, nothing allocated once the stream runs.
    struct BlockFifo {
        std::vector<FrameWords> frames;
        long blockFrames = 0;
        std::atomic<int64_t> written{0};
        std::atomic<int64_t> read{0};

        void allocate(long perBlock);
        FrameWords* block(int64_t index);
        int64_t queued() const { return written.load() - read.load(); }
    };

    static void onBufferSwitch(long half, ASIOBool directProcess);
    static ASIOTime* onBufferSwitchTimeInfo(ASIOTime* time, long half, ASIOBool directProcess);
    static void onRateChange(ASIOSampleRate rate);
    static long onMessage(long selector, long value, void* message, double* opt);

    void onSwitch(long half);
    void noteGap(int64_t ticks, int64_t index);
    void styleEvent();
    void silenceOthers(long half);
    void exchangeDirectly(long half, int64_t index);
    void exchangeThroughFifos(long half);

    const SessionPlan& plan_;
    IASIO* driver_;
    ASIOCallbacks callbacks_{};
    std::vector<SoakChannel> channels_;
    std::vector<ASIOBufferInfo> infos_;
    long frames_ = 0;
    int inLeft_ = -1, inRight_ = -1, outLeft_ = -1, outRight_ = -1;
    bool checkSignal_ = false;
    int eventSwitch_ = 1;
    uint32_t carried_ = 0xFFFFFFFFu;
    SignalTracker tracker_;
    BlockFifo inFifo_, outFifo_;
    int64_t lastSwitch_ = 0;

    UniqueHandle firstSwitch_, blockArrived_, holdRelease_, styleDone_;
    std::atomic<int64_t> switches_{0}, late_{0}, badHalf_{0}, longestGap_{0}, longestGapAt_{0};
    std::atomic<int> inside_{0};
    std::atomic<bool> closed_{false}, stoppedInCallback_{false};
    std::atomic<ASIOError> stopInCallbackResult_{ASE_OK};
};

} // namespace asiohost
