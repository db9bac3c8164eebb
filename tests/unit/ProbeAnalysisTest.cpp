// The ASIO test host's analysis: the loopback signal, the tracker that follows it back, the
// buffer-switch checks and the command line. A probe that miscounts would blame or clear a
// driver wrongly, so each fault the tracker names is staged here and must be named as such.
#include "asio/AsioInterface.h"
#include "tools/asiohost/CommandLine.h"
#include "tools/asiohost/LoopbackSignal.h"
#include "tools/asiohost/SignalTracker.h"
#include "tools/asiohost/SwitchChecks.h"
#include "tools/asiohost/TimingStats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace asiohost;

namespace {

constexpr SampleLayout kLayouts[] = {SampleLayout::Int16, SampleLayout::Int24, SampleLayout::Int32};

// What the device does to a host sample on the way out and back in: 16 bits stay 16 bits,
// 24 stay 24, and 32-bit samples lose their lowest byte (it comes back zero).
uint32_t throughDevice(SampleLayout layout, uint32_t word) {
    return word & carriedBits(layout);
}

// Sends frames [first, first + count) through buffers of the layout and the device, decoding
// each one as the probe does.
std::vector<DecodedFrame> roundTrip(SampleLayout layout, uint32_t first, int count) {
    const int bytes = bytesPerSample(layout);
    std::vector<uint8_t> left(count * bytes), right(count * bytes);
    writeSignal(layout, left.data(), layout, right.data(), first, count);
    std::vector<DecodedFrame> out;
    for (int j = 0; j < count; ++j) {
        const FrameWords back{throughDevice(layout, readSampleWord(layout, left.data(), j)),
                              throughDevice(layout, readSampleWord(layout, right.data(), j))};
        out.push_back(decodeFrame(back, carriedBits(layout)));
    }
    return out;
}

// Feeds the tracker a stream: `silence` silent frames, then the output frames listed.
SignalSummary track(int64_t silence, const std::vector<int64_t>& frames) {
    SignalTracker t;
    int64_t position = 0;
    for (; position < silence; ++position)
        t.onFrame(position, {FrameKind::Silent, 0});
    for (int64_t f : frames) {
        if (f < 0)
            t.onFrame(position++, {FrameKind::Silent, 0});
        else
            t.onFrame(position++, {FrameKind::Valid, static_cast<uint32_t>(f) & kFrameNumberMask});
    }
    t.finish();
    return t.summary();
}

void append(std::vector<int64_t>& v, int64_t begin, int64_t end) {
    for (int64_t f = begin; f < end; ++f)
        v.push_back(f);
}

constexpr int64_t kBlock = 256;

} // namespace

TEST(LoopbackSignal, EveryFrameNumberSurvivesEachWidthTheDeviceCarries) {
    const uint32_t starts[] = {0, 0xFF00, 0xFFFF80, kFrameNumberMask - 100};
    for (SampleLayout layout : kLayouts) {
        for (uint32_t start : starts) {
            const std::vector<DecodedFrame> back = roundTrip(layout, start, 300);
            for (int j = 0; j < 300; ++j) {
                ASSERT_EQ(back[j].kind, FrameKind::Valid)
                    << "layout " << int(layout) << " frame " << start + j;
                EXPECT_EQ(back[j].number, (start + j) & kFrameNumberMask);
            }
        }
    }
}

TEST(LoopbackSignal, NoFrameLooksLikeTheSilenceBeforeTheSignal) {
    // Only frames whose low 16 bits are zero could; frame 0 above all, which comes back first.
    for (uint32_t high = 0; high < 256; ++high) {
        const FrameWords w = encodeFrame(high << 16);
        EXPECT_NE(w.right & 0xFFFF0000u, 0u) << high;
        EXPECT_EQ(decodeFrame(w, carriedBits(SampleLayout::Int16)).kind, FrameKind::Valid);
    }
    EXPECT_EQ(decodeFrame({0, 0}, carriedBits(SampleLayout::Int16)).kind, FrameKind::Silent);
    // Bits the path does not carry do not make silence into something else.
    EXPECT_EQ(decodeFrame({0xFF, 0x7F}, carriedBits(SampleLayout::Int32)).kind, FrameKind::Silent);
}

TEST(LoopbackSignal, DamagedSwappedAndMispackedFramesAreNotTakenForSignal) {
    int missed16 = 0;
    for (uint32_t n = 1000; n < 2000; ++n) {
        const FrameWords w = encodeFrame(n);
        EXPECT_EQ(decodeFrame({w.right, w.left}, carriedBits(SampleLayout::Int24)).kind,
                  FrameKind::Swapped);
        for (int bit = 8; bit < 32; ++bit) {
            const FrameWords flipped{w.left ^ (1u << bit), w.right};
            EXPECT_NE(decodeFrame(flipped, carriedBits(SampleLayout::Int24)).kind, FrameKind::Valid)
                << n << " bit " << bit;
            if (bit >= 16 &&
                decodeFrame(flipped, carriedBits(SampleLayout::Int16)).kind == FrameKind::Valid)
                ++missed16;
        }
        // A 24-bit sample placed in the low three bytes of a 32-bit sample instead of the top.
        const FrameWords low{(w.left >> 8) & 0xFFFFFF00u, (w.right >> 8) & 0xFFFFFF00u};
        EXPECT_NE(decodeFrame(low, carriedBits(SampleLayout::Int32)).kind, FrameKind::Valid);
    }
    // 16-bit samples leave 8 check bits: about one damaged frame in 256 can pass.
    EXPECT_LT(missed16, 16000 / 100);
}

TEST(LoopbackSignal, SamplesAreStoredLeastSignificantByteFirstInTheirWidth) {
    uint8_t buffer[8] = {};
    writeSampleWord(SampleLayout::Int24, buffer, 1, 0x33221100u);
    const uint8_t packed[8] = {0, 0, 0, 0x11, 0x22, 0x33, 0, 0};
    EXPECT_EQ(std::memcmp(buffer, packed, 8), 0);
    EXPECT_EQ(readSampleWord(SampleLayout::Int24, buffer, 1), 0x33221100u);

    std::memset(buffer, 0, sizeof(buffer));
    writeSampleWord(SampleLayout::Int16, buffer, 2, 0xBEEF1234u);
    EXPECT_EQ(buffer[4], 0xEF);
    EXPECT_EQ(buffer[5], 0xBE);
    EXPECT_EQ(readSampleWord(SampleLayout::Int16, buffer, 2), 0xBEEF0000u);
}

TEST(SignalTracker, CleanStreamGivesTheLatencyAndNoFault) {
    std::vector<int64_t> frames;
    append(frames, 0, 20 * kBlock);
    const SignalSummary s = track(1016, frames);
    ASSERT_TRUE(s.arrived);
    EXPECT_EQ(s.firstFrame, 0);
    EXPECT_EQ(s.firstLatency, 1016);
    EXPECT_EQ(s.minLatency, 1016);
    EXPECT_EQ(s.maxLatency, 1016);
    EXPECT_EQ(s.framesBeforeArrival, 1016);
    EXPECT_EQ(s.validFrames, 20 * kBlock);
    EXPECT_FALSE(s.faultSeen());
}

TEST(SignalTracker, NamesLostRepeatedAndLateBlocks) {
    {
        SCOPED_TRACE("a block lost");
        std::vector<int64_t> f;
        append(f, 0, 2 * kBlock);
        append(f, 3 * kBlock, 6 * kBlock);
        const SignalSummary s = track(100, f);
        EXPECT_EQ(s.lostFrames, kBlock);
        EXPECT_EQ(s.lostGaps, 1);
        EXPECT_EQ(s.jumpCount(JumpKind::Ahead), 1);
        EXPECT_EQ(s.jumpCount(JumpKind::Repeat), 0);
        ASSERT_EQ(s.jumpLogCount, 1);
        EXPECT_EQ(s.jumpLog[0].expectedFrame, 2 * kBlock);
        EXPECT_EQ(s.jumpLog[0].foundFrame, 3 * kBlock);
        EXPECT_TRUE(s.faultSeen());
    }
    {
        SCOPED_TRACE("a block played twice");
        std::vector<int64_t> f;
        append(f, 0, 2 * kBlock);
        append(f, kBlock, 4 * kBlock);
        const SignalSummary s = track(100, f);
        EXPECT_EQ(s.jumpCount(JumpKind::Repeat), 1);
        EXPECT_EQ(s.lostFrames, 0);
        EXPECT_TRUE(s.faultSeen());
    }
    {
        SCOPED_TRACE("two blocks exchanged");
        std::vector<int64_t> f;
        append(f, 0, kBlock);
        append(f, 2 * kBlock, 3 * kBlock);
        append(f, kBlock, 2 * kBlock);
        append(f, 3 * kBlock, 5 * kBlock);
        const SignalSummary s = track(100, f);
        EXPECT_EQ(s.jumpCount(JumpKind::OutOfOrder), 1);
        EXPECT_EQ(s.jumpCount(JumpKind::Repeat), 0);
        EXPECT_EQ(s.jumpCount(JumpKind::Resume), 1);
        EXPECT_EQ(s.lostFrames, 0); // the late block filled the gap
        EXPECT_TRUE(s.faultSeen());
    }
    {
        SCOPED_TRACE("the host's first block never came back");
        std::vector<int64_t> f;
        append(f, kBlock, 4 * kBlock);
        const SignalSummary s = track(1000, f);
        EXPECT_EQ(s.firstFrame, kBlock);
        EXPECT_EQ(s.lostFrames, kBlock);
        EXPECT_TRUE(s.faultSeen());
    }
}

TEST(SignalTracker, TellsInsertedSilenceFromSilenceInThePlaceOfSignal) {
    {
        SCOPED_TRACE("the device ran dry: silence delays the stream");
        std::vector<int64_t> f;
        append(f, 0, kBlock);
        f.insert(f.end(), 64, -1);
        append(f, kBlock, 3 * kBlock);
        const SignalSummary s = track(500, f);
        EXPECT_EQ(s.silentFrames, 64);
        EXPECT_EQ(s.silentRuns, 1);
        EXPECT_EQ(s.maxLatency - s.minLatency, 64);
        EXPECT_EQ(s.lostFrames, 0);
        EXPECT_EQ(s.replacedFrames, 0);
        EXPECT_TRUE(s.faultSeen());
    }
    {
        SCOPED_TRACE("a muted block: silence in the place of frames, no jump");
        std::vector<int64_t> f;
        append(f, 0, kBlock);
        f.insert(f.end(), kBlock, -1);
        append(f, 2 * kBlock, 3 * kBlock);
        const SignalSummary s = track(500, f);
        EXPECT_EQ(s.replacedFrames, kBlock);
        EXPECT_EQ(s.lostFrames, kBlock); // silence is how they were lost
        EXPECT_EQ(s.jumpCount(JumpKind::Ahead), 0);
        EXPECT_EQ(s.minLatency, s.maxLatency);
        EXPECT_TRUE(s.faultSeen());
    }
    {
        SCOPED_TRACE("one damaged frame");
        SignalTracker t;
        for (int64_t p = 0; p < 1000; ++p) {
            const uint32_t n = static_cast<uint32_t>(p);
            t.onFrame(p + 300, p == 500 ? DecodedFrame{FrameKind::Corrupt, 0}
                                        : DecodedFrame{FrameKind::Valid, n});
        }
        t.finish();
        EXPECT_EQ(t.summary().corruptFrames, 1);
        EXPECT_EQ(t.summary().jumpCount(JumpKind::Ahead), 0);
        EXPECT_EQ(t.summary().lostFrames, 1);
        EXPECT_EQ(t.summary().minLatency, t.summary().maxLatency);
    }
}

TEST(SignalTracker, FollowsFrameNumbersPastTheTwentyFourBitCounter) {
    // A long run: the input position is far beyond 2^24 when the signal arrives, and the
    // counter wraps while it streams.
    const int64_t start = (int64_t{3} << kFrameNumberBits) - 1000;
    SignalTracker t;
    for (int64_t f = start; f < start + 5000; ++f)
        t.onFrame(f + 2016, {FrameKind::Valid, static_cast<uint32_t>(f) & kFrameNumberMask});
    t.finish();
    const SignalSummary& s = t.summary();
    EXPECT_EQ(s.firstFrame, start);
    EXPECT_EQ(s.firstLatency, 2016);
    EXPECT_EQ(s.highestFrame, start + 4999);
    EXPECT_EQ(s.jumpCount(JumpKind::Ahead) + s.jumpCount(JumpKind::Repeat), 0);
    // lostFrames counts the frames before the arrival; nothing after it is missing.
    EXPECT_EQ(s.lostFrames, start);
}

TEST(SwitchChecks, FindsRepeatedHalvesAndWrongPositionSteps) {
    std::vector<SwitchRecord> records;
    const int64_t ticksPerSwitch = 5333;
    const int halves[] = {0, 1, 0, 0, 1, 0};
    const uint64_t positions[] = {0, 256, 512, 768, 1280, 1536};
    for (int i = 0; i < 6; ++i) {
        SwitchRecord r{};
        r.entryTicks = 1000 + i * ticksPerSwitch;
        r.busyTicks = 10;
        r.half = halves[i];
        r.position = positions[i];
        r.positionKnown = true;
        r.viaTimeInfo = true;
        r.timeFlags = kSystemTimeValid | kSamplePositionValid;
        if (i == 2)
            r.timeFlags |= kSampleRateChanged;
        records.push_back(r);
    }
    records[5].timeFlags = kSamplePositionValid;
    const SwitchChecks c = checkSwitches(records, 256, 1000000);
    EXPECT_EQ(c.halfRepeats, 1);
    EXPECT_EQ(c.positionSteps, 5);
    EXPECT_EQ(c.positionStepErrors, 1);
    EXPECT_EQ(c.firstBadStepAt, 4);
    EXPECT_EQ(c.firstBadStep, 512);
    EXPECT_EQ(c.rateChangedFlags, 1);
    EXPECT_EQ(c.timeInfoWithoutValidity, 1);
    ASSERT_EQ(c.periodsMs.size(), 5u);
    EXPECT_DOUBLE_EQ(c.periodsMs[0], 5.333);
    EXPECT_DOUBLE_EQ(c.busyMs[0], 0.01);
}

TEST(TimingStats, NearestRankPercentilesAndEmptyInput) {
    std::vector<double> values;
    for (int i = 100; i >= 1; --i)
        values.push_back(i);
    const Distribution d = describe(values);
    EXPECT_EQ(d.count, 100u);
    EXPECT_EQ(d.min, 1);
    EXPECT_EQ(d.median, 50);
    EXPECT_EQ(d.p99, 99);
    EXPECT_EQ(d.max, 100);
    EXPECT_DOUBLE_EQ(d.mean, 50.5);
    EXPECT_EQ(values.front(), 100); // the caller's order is kept
    EXPECT_EQ(describe({}).count, 0u);
    EXPECT_EQ(describe({7}).p99, 7);
}

TEST(HostCommandLine, TakesEveryProbeOptionAndKeepsDefaults) {
    ParseResult r =
        parseCommandLine({"probe", "--seconds", "2.5", "--frames", "256", "--rate", "48000",
                          "--bits", "24", "--no-time-info", "--driver", "X", "--null-window"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::Probe);
    EXPECT_DOUBLE_EQ(r.options.seconds, 2.5);
    EXPECT_EQ(r.options.frames, 256);
    EXPECT_DOUBLE_EQ(r.options.rate, 48000);
    EXPECT_EQ(r.options.bits, 24);
    EXPECT_FALSE(r.options.timeInfo);
    EXPECT_EQ(r.options.driverName, "X");
    EXPECT_TRUE(r.options.nullWindow);

    r = parseCommandLine({"info"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.driverName, kDefaultDriverName);
    EXPECT_TRUE(r.options.timeInfo);
    EXPECT_EQ(r.options.frames, 0);
    EXPECT_TRUE(parseCommandLine({}).ok);
}

TEST(HostCommandLine, RefusesWhatItCannotUse) {
    const std::vector<std::vector<std::string>> bad = {
        {"stream"},
        {"probe", "--frames"},
        {"probe", "--frames", "256x"},
        {"probe", "--frames", "0"},
        {"probe", "--frames", "12.5"},
        {"probe", "--bits", "20"},
        {"probe", "--rate", "48k"},
        {"probe", "--rate", "nan"},
        {"probe", "--seconds", "1e400"},
        {"probe", "--seconds", "-1"},
        {"probe", "--driver", ""},
        {"info", "--seconds", "3"},
        {"list", "--driver", "X"},
        {"probe", "--verbose"},
    };
    for (const auto& args : bad) {
        const ParseResult r = parseCommandLine(args);
        EXPECT_FALSE(r.ok) << args.back();
        EXPECT_FALSE(r.error.empty());
    }
}
