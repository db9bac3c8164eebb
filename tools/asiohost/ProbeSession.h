// One streaming run through a driver: createBuffers with every channel, start, S seconds of
// buffer switches, stop, disposeBuffers. The callbacks play the test signal on the first output
// pair, follow it on the first input pair, and time themselves; everything they write to is
// allocated before start.
#pragma once

#include "LoopbackSignal.h"
#include "SignalTracker.h"
#include "SwitchChecks.h"
#include "asio/AsioInterface.h"
#include "common/UniqueResource.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace asiohost {

struct ChannelPlan {
    bool input;
    long channel;
    SampleLayout layout;
};

struct ProbeSetup {
    IASIO* driver = nullptr;
    long frames = 0;
    double nominalRate = 0;
    double seconds = 0;
    bool timeInfo = true;
    std::vector<ChannelPlan> channels; // in createBuffers order
    // Indices into `channels` of the pairs that carry the signal; -1 when there is none.
    int outLeft = -1, outRight = -1, inLeft = -1, inRight = -1;
};

struct MessageLog {
    long resetRequests = 0;
    long resyncRequests = 0;
    long latencyChanges = 0;
    long bufferSizeChanges = 0;
    long rateChanges = 0;
    double lastRate = 0;
    long timeInfoQueries = 0;
    long otherMessages = 0;
    long lastOtherSelector = 0;
};

struct ProbeRun {
    ASIOError createResult = ASE_OK;
    ASIOError startResult = ASE_OK;
    ASIOError stopResult = ASE_OK;
    ASIOError disposeResult = ASE_OK;
    bool buffersCreated = false;
    bool started = false;
    bool interrupted = false;
    bool nullBuffer = false; // createBuffers succeeded but handed out a null buffer
    long inLatency = 0, outLatency = 0;
    bool latenciesKnown = false;
    double rate = 0; // the driver's rate once the buffers existed
    double elapsedSeconds = 0;

    int64_t qpcFrequency = 1;
    int64_t switches = 0; // all of them, also beyond the record capacity
    std::vector<SwitchRecord> records;
    int64_t hostTicks = 0;

    // The streaming thread's CPU time from the first callback to just before stop.
    bool cpuKnown = false;
    int64_t cpuTime = 0; // 100 ns units
    int64_t cpuWindowSwitches = 0;
    int64_t cpuWindowHostTicks = 0;
    int64_t cpuClockStep = 0; // 100 ns units; 0 unknown

    // Breaches of what hosts rely on.
    int64_t callbacksAfterStop = 0;
    int64_t badHalfIndex = 0;
    int64_t plainSwitchesWithTimeInfo = 0; // bufferSwitch although time info was offered
    int64_t timeInfoSwitchesWithout = 0;   // bufferSwitchTimeInfo although it was declined
    int64_t nullTimeRecords = 0;
    int64_t switchesFromOtherThreads = 0; // switches not on the thread of the first one

    MessageLog messages;
    SignalSummary signal;
};

class ProbeSession {
public:
    explicit ProbeSession(ProbeSetup setup);
    ~ProbeSession();
    ProbeSession(const ProbeSession&) = delete;
    ProbeSession& operator=(const ProbeSession&) = delete;

    // Runs the whole stream; the result says how far it got.
    ProbeRun run();

    // Asks a running stream to end early (Ctrl+C).
    static void interrupt();

private:
    static void onBufferSwitch(long half, ASIOBool directProcess);
    static ASIOTime* onBufferSwitchTimeInfo(ASIOTime* time, long half, ASIOBool directProcess);
    static void onSampleRateDidChange(ASIOSampleRate rate);
    static long onAsioMessage(long selector, long value, void* message, double* opt);

    void onSwitch(long half, ASIOTime* time, bool viaTimeInfo);
    void exchange(long half, int64_t index);
    void captureStreamThread();
    long answerMessage(long selector, long value);
    bool createBuffers(ProbeRun& r);
    void stream(ProbeRun& r);

    ProbeSetup setup_;
    std::vector<ASIOBufferInfo> infos_;
    ASIOCallbacks callbacks_{};
    std::vector<SwitchRecord> records_;
    SignalTracker tracker_;
    uint32_t inCarried_ = 0;

    std::atomic<int64_t> switches_{0};
    std::atomic<int64_t> hostTicks_{0};
    std::atomic<bool> closed_{false};
    std::atomic<int64_t> lateCallbacks_{0};
    std::atomic<bool> threadCaptured_{false};
    UniqueHandle streamThread_;
    DWORD streamThreadId_ = 0;
    int64_t cpuAtFirstSwitch_ = 0;
    bool cpuStartKnown_ = false;

    // Written by callbacks on any thread, read by the main thread after stop.
    std::atomic<long> resetRequests_{0}, resyncRequests_{0}, latencyChanges_{0};
    std::atomic<long> bufferSizeChanges_{0}, rateChanges_{0}, timeInfoQueries_{0};
    std::atomic<long> otherMessages_{0}, lastOtherSelector_{0};
    std::atomic<double> lastRate_{0};
    std::atomic<int64_t> badHalf_{0}, plainWithTimeInfo_{0}, timeInfoWithout_{0};
    std::atomic<int64_t> nullTimeRecords_{0}, foreignThreadSwitches_{0};
};

} // namespace asiohost
