// The ASIO test host's streaming session against a stand-in driver whose loopback is exact: the
// output half the host wrote at switch k leaves at switch k + 2 into a delay line of D frames,
// and each switch fills its input half from that line. The round trip is therefore 2 buffers
// plus D frames, and every fault the stand-in is told to commit must come out of the session
// and its verdict under its own name.
#include "asio/AsioInterface.h"
#include "tools/asiohost/ExitCodes.h"
#include "tools/asiohost/ProbeReport.h"
#include "tools/asiohost/ProbeSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

using namespace asiohost;

namespace {

constexpr long kFrames = 128;

struct StandInFaults {
    long dropOutputAt = -1;   // this switch's output never reaches the line
    long repeatOutputAt = -1; // this switch's output enters the line twice
    bool switchAfterStop = false;
    bool ignoreTimeInfoAnswer = false; // calls bufferSwitchTimeInfo whatever the host said
};

class LoopbackStandIn : public IASIO {
public:
    LoopbackStandIn(int bytesPerSample, long delayFrames, StandInFaults faults)
        : bytes_(bytesPerSample), delay_(delayFrames), faults_(faults) {}
    ~LoopbackStandIn() { join(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    ASIOBool init(void*) override { return ASIOTrue; }
    void getDriverName(char* name) override { std::strcpy(name, "stand-in"); }
    long getDriverVersion() override { return 1; }
    void getErrorMessage(char* text) override { text[0] = '\0'; }
    ASIOError start() override {
        running_ = true;
        thread_ = std::thread([this] { loop(); });
        return ASE_OK;
    }
    ASIOError stop() override {
        running_ = false;
        if (!faults_.switchAfterStop)
            join();
        return ASE_OK;
    }
    ASIOError getChannels(long* in, long* out) override {
        *in = *out = 2;
        return ASE_OK;
    }
    ASIOError getLatencies(long* in, long* out) override {
        *in = *out = size_;
        return ASE_OK;
    }
    ASIOError getBufferSize(long*, long*, long*, long*) override { return ASE_NotPresent; }
    ASIOError canSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getSampleRate(ASIOSampleRate* rate) override {
        *rate = 48000;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError getClockSources(ASIOClockSource*, long*) override { return ASE_NotPresent; }
    ASIOError setClockSource(long) override { return ASE_NotPresent; }
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* stamp) override {
        const uint64_t p = position_.load();
        position->hi = static_cast<unsigned long>(p >> 32);
        position->lo = static_cast<unsigned long>(p);
        stamp->hi = stamp->lo = 0;
        return ASE_OK;
    }
    ASIOError getChannelInfo(ASIOChannelInfo*) override { return ASE_NotPresent; }
    ASIOError createBuffers(ASIOBufferInfo* infos, long count, long size,
                            ASIOCallbacks* callbacks) override {
        size_ = size;
        for (long i = 0; i < count; ++i) {
            memory_.emplace_back(static_cast<size_t>(size) * 2 * bytes_);
            infos[i].buffers[0] = memory_.back().data();
            infos[i].buffers[1] = memory_.back().data() + size * bytes_;
            (infos[i].isInput ? inputs_ : outputs_).push_back(memory_.back().data());
        }
        callbacks_ = callbacks;
        timeInfo_ = callbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
        line_.assign(static_cast<size_t>(delay_) * 2 * bytes_, 0);
        return ASE_OK;
    }
    ASIOError disposeBuffers() override {
        stop();
        join();
        return ASE_OK;
    }
    ASIOError controlPanel() override { return ASE_NotPresent; }
    ASIOError future(long, void*) override { return ASE_NotPresent; }
    ASIOError outputReady() override { return ASE_NotPresent; }

private:
    void join() {
        if (thread_.joinable())
            thread_.join();
    }

    void loop() {
        long k = 0;
        while (running_) {
            switchOnce(k++);
            Sleep(1);
        }
        if (faults_.switchAfterStop) {
            Sleep(20);
            switchOnce(k);
        }
    }

    void switchOnce(long k) {
        const int half = static_cast<int>(k % 2);
        const size_t halfBytes = static_cast<size_t>(size_) * bytes_;
        // The device takes the half the host filled two switches ago ...
        const int copies = k == faults_.dropOutputAt ? 0 : k == faults_.repeatOutputAt ? 2 : 1;
        for (int c = 0; c < copies; ++c)
            for (long j = 0; j < size_; ++j)
                for (uint8_t* channel : outputs_)
                    for (int b = 0; b < bytes_; ++b)
                        line_.push_back(channel[half * halfBytes + j * bytes_ + b]);
        // ... and records the next buffer's worth from the line, silence when it runs dry.
        for (long j = 0; j < size_; ++j)
            for (uint8_t* channel : inputs_)
                for (int b = 0; b < bytes_; ++b) {
                    channel[half * halfBytes + j * bytes_ + b] = line_.empty() ? 0 : line_.front();
                    if (!line_.empty())
                        line_.pop_front();
                }
        position_ = static_cast<uint64_t>(k) * size_;
        if (timeInfo_ || faults_.ignoreTimeInfoAnswer) {
            ASIOTime time{};
            time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
            time.timeInfo.samplePosition.lo = static_cast<unsigned long>(position_.load());
            callbacks_->bufferSwitchTimeInfo(&time, half, ASIOFalse);
        } else {
            callbacks_->bufferSwitch(half, ASIOFalse);
        }
    }

    const int bytes_;
    const long delay_;
    const StandInFaults faults_;
    long size_ = 0;
    std::vector<std::vector<uint8_t>> memory_;
    std::vector<uint8_t*> inputs_, outputs_;
    ASIOCallbacks* callbacks_ = nullptr;
    bool timeInfo_ = false;
    std::deque<uint8_t> line_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> position_{0};
    std::thread thread_;
};

struct Outcome {
    ProbeRun run;
    int verdict;
};

Outcome probe(SampleLayout layout, long delay, StandInFaults faults, bool timeInfo = true) {
    LoopbackStandIn driver(bytesPerSample(layout), delay, faults);
    ProbeSetup setup;
    setup.driver = &driver;
    setup.frames = kFrames;
    setup.nominalRate = 48000;
    setup.seconds = 0.2;
    setup.timeInfo = timeInfo;
    setup.channels = {{true, 0, layout}, {true, 1, layout}, {false, 0, layout}, {false, 1, layout}};
    setup.inLeft = 0;
    setup.inRight = 1;
    setup.outLeft = 2;
    setup.outRight = 3;
    ProbeSession session(setup);
    Outcome o{session.run(), 0};
    ProbeFacts facts;
    facts.frames = kFrames;
    facts.timeInfo = timeInfo;
    facts.signalPossible = true;
    o.verdict = probeVerdict(facts, o.run);
    return o;
}

} // namespace

TEST(ProbeSession, MeasuresTheRoundTripOfACleanLoopInEveryWidth) {
    for (SampleLayout layout : {SampleLayout::Int16, SampleLayout::Int24, SampleLayout::Int32}) {
        const Outcome o = probe(layout, 100, {});
        ASSERT_TRUE(o.run.started);
        ASSERT_GT(o.run.switches, 20);
        const SignalSummary& s = o.run.signal;
        ASSERT_TRUE(s.arrived);
        EXPECT_EQ(s.firstFrame, 0);
        EXPECT_EQ(s.firstLatency, 2 * kFrames + 100);
        EXPECT_EQ(s.maxLatency, s.minLatency);
        EXPECT_FALSE(s.faultSeen());
        EXPECT_EQ(o.run.inLatency + o.run.outLatency, 2 * kFrames);
        EXPECT_EQ(o.run.callbacksAfterStop, 0);
        EXPECT_EQ(o.run.messages.timeInfoQueries, 1);
        EXPECT_EQ(o.verdict, kExitOk);
    }
}

TEST(ProbeSession, ReportsADroppedAndARepeatedBlockAsDropouts) {
    // Without delay the line runs dry for the dropped block: its place comes back silent.
    Outcome o = probe(SampleLayout::Int16, 0, {.dropOutputAt = 10}, false);
    EXPECT_EQ(o.run.signal.lostFrames, kFrames);
    EXPECT_EQ(o.run.signal.silentFrames, kFrames);
    EXPECT_EQ(o.run.plainSwitchesWithTimeInfo, 0);
    EXPECT_EQ(o.verdict, kExitDamaged);

    o = probe(SampleLayout::Int24, 0, {.repeatOutputAt = 10});
    EXPECT_EQ(o.run.signal.jumpCount(JumpKind::Repeat), 1);
    EXPECT_EQ(o.run.signal.lostFrames, 0);
    EXPECT_EQ(o.run.signal.maxLatency - o.run.signal.minLatency, kFrames);
    EXPECT_EQ(o.verdict, kExitDamaged);
}

TEST(ProbeSession, ReportsBrokenCallbackRules) {
    // The stand-in's loop may be mid-switch when stop comes, so more than its one deliberate
    // late switch can land after stop on a busy machine; what counts is that any is seen.
    Outcome o = probe(SampleLayout::Int16, 0, {.switchAfterStop = true});
    EXPECT_GE(o.run.callbacksAfterStop, 1);
    EXPECT_FALSE(o.run.signal.faultSeen());
    EXPECT_EQ(o.verdict, kExitRuleBroken);

    o = probe(SampleLayout::Int16, 0, {.ignoreTimeInfoAnswer = true}, false);
    EXPECT_GT(o.run.timeInfoSwitchesWithout, 0);
    EXPECT_EQ(o.verdict, kExitRuleBroken);
}

TEST(ProbeSession, NoSignalWhenNothingComesBack) {
    // A delay longer than the whole run: the inputs stay silent.
    const Outcome o = probe(SampleLayout::Int16, 48000 * 10, {});
    EXPECT_GT(o.run.switches, 0);
    EXPECT_FALSE(o.run.signal.arrived);
    EXPECT_EQ(o.verdict, kExitNoSignal);
}
