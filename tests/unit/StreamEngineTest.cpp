// The streaming engine driven as a host drives it, on the simulated device: audio through the
// loopback, the order of blocks at the device, pacing, stopping from anywhere, reset requests,
// failing starts and a device that goes away.
#include "InProcessDriver.h"

#include "asio/StreamEngine.h"
#include "ports/WaveEndpoints.h"
#include "support/DeviceIsFree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr long kFrames = 256;
// Liveness only: how long something that must happen may take on a loaded machine.
constexpr DWORD kLivenessMs = 5000;

// What the host saw. The hook runs on the driver's streaming thread, with the index of the
// switch (from 0), before the host would normally process the half.
struct HostRecord {
    std::atomic<int> switches{0};
    std::atomic<int> plainSwitches{0};
    std::atomic<int> resetRequests{0};
    std::atomic<int> afterStop{0};
    std::atomic<bool> stopReturned{false};
    long supportsTimeInfo = 0;
    std::function<void(int index, long half, ASIOTime* time)> hook;
    std::function<void()> onReset; // runs on the driver's monitor thread
};
HostRecord* host = nullptr;

void switched(long half, ASIOTime* time) {
    if (host->stopReturned)
        ++host->afterStop;
    const int index = host->switches++;
    if (host->hook)
        host->hook(index, half, time);
}
void onSwitch(long half, ASIOBool) {
    ++host->plainSwitches;
    switched(half, nullptr);
}
ASIOTime* onSwitchTimeInfo(ASIOTime* time, long half, ASIOBool) {
    switched(half, time);
    return time;
}
long onMessage(long selector, long, void*, double*) {
    if (selector == kAsioSupportsTimeInfo)
        return host->supportsTimeInfo;
    if (selector == kAsioResetRequest) {
        ++host->resetRequests;
        if (host->onReset)
            host->onReset();
    }
    return 0;
}
void onRate(ASIOSampleRate) {}

template <typename Done>
bool waitFor(Done done, DWORD ms = kLivenessMs) {
    const DWORD begin = GetTickCount();
    while (!done()) {
        if (GetTickCount() - begin > ms)
            return false;
        Sleep(5);
    }
    return true;
}

bool ringIsZero(const EndpointRing* ring) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(ring);
    return ring != nullptr &&
           std::all_of(bytes, bytes + kRingBytes, [](uint8_t b) { return b == 0; });
}

uint32_t load(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}
void store(uint8_t* p, int bytes, uint32_t v) {
    std::memcpy(p, &v, bytes);
}

// The signal the host plays: frame counter c (from 1) on the left, a partner on the right; at
// width 32 the low byte carries bits the device cannot keep.
uint32_t leftOf(int width, uint32_t c) {
    return width == 32 ? c << 8 | 0x5A : c;
}
uint32_t rightOf(int width, uint32_t c) {
    const uint32_t r = c + (width == 16 ? 0x1000u : 0x100000u);
    return width == 32 ? r << 8 | 0xA5 : r;
}
// What comes back: at width 32 the device's 24 bits in the upper three bytes.
uint32_t heard(int width, uint32_t sent) {
    return width == 32 ? sent & 0xFFFFFF00u : sent;
}

class StreamEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        host = &record;
        ASSERT_TRUE(driver.create());
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        if (AsioSharedBlock* b = driver.object().block())
            b->resetRequest = 0;
    }
    void TearDown() override {
        driver.reset();
        host = nullptr;
        sim::resetToDefaults();
        clearDriverProfile();
    }

    ASIOError createBuffers(int width, bool inputs, bool outputs) {
        driver.object().sampleWidth = width;
        infos.clear();
        for (long channel = 0; channel < 2; ++channel) {
            if (inputs)
                infos.push_back({ASIOTrue, channel, {}});
            if (outputs)
                infos.push_back({ASIOFalse, channel, {}});
        }
        return driver->createBuffers(infos.data(), static_cast<long>(infos.size()), kFrames,
                                     &callbacks);
    }
    uint8_t* half(bool input, long channel, long which) {
        for (ASIOBufferInfo& info : infos)
            if ((info.isInput != ASIOFalse) == input && info.channelNum == channel)
                return static_cast<uint8_t*>(info.buffers[which]);
        return nullptr;
    }
    // The host plays the counter signal from its first switch on.
    void playCounter(int width, std::atomic<uint32_t>& counter, long which) {
        const int bytes = width / 8;
        for (long j = 0; j < kFrames; ++j) {
            const uint32_t c = ++counter;
            store(half(false, 0, which) + j * bytes, bytes, leftOf(width, c));
            store(half(false, 1, which) + j * bytes, bytes, rightOf(width, c));
        }
    }
    void stopAndMark() {
        EXPECT_EQ(driver->stop(), ASE_OK);
        record.stopReturned = true;
    }

    HostRecord record;
    ASIOCallbacks callbacks{onSwitch, onRate, onMessage, onSwitchTimeInfo};
    std::vector<ASIOBufferInfo> infos;
    InProcessDriver driver;
};

class StreamEngineLoopback : public StreamEngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(StreamEngineLoopback, HostAudioComesBackOnTheInputsInOrder) {
    const int width = GetParam();
    const int bytes = width / 8;
    ASSERT_EQ(createBuffers(width, true, true), ASE_OK);
    constexpr int kWanted = 8 * kFrames;
    std::vector<uint32_t> left, right;
    left.reserve(64 * kFrames);
    right.reserve(64 * kFrames);
    std::atomic<int> signalFrames{0};
    std::atomic<uint32_t> counter{0};
    record.hook = [&](int, long which, ASIOTime*) {
        for (long j = 0; j < kFrames && left.size() < left.capacity(); ++j) {
            left.push_back(load(half(true, 0, which) + j * bytes, bytes));
            right.push_back(load(half(true, 1, which) + j * bytes, bytes));
            if (left.back() != 0)
                ++signalFrames;
        }
        playCounter(width, counter, which);
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return signalFrames >= kWanted; }));
    stopAndMark();
    EXPECT_EQ(sim::state()->lastInFormat.Format.wBitsPerSample, width == 16 ? 16 : 24);

    // Silence until the loopback delay has passed, then the counter; frames the device lost
    // for want of a queued input block may leave gaps, nothing else may.
    const bool inputLost = sim::state()->inOverrunFrames != 0;
    uint32_t expected = 1;
    int checked = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] == 0 && right[i] == 0)
            continue;
        const uint32_t c = width == 32 ? left[i] >> 8 : left[i];
        if (inputLost)
            ASSERT_GE(c, expected) << "frame " << i << " went back in time";
        else
            ASSERT_EQ(c, expected) << "frame " << i;
        ASSERT_EQ(left[i], heard(width, leftOf(width, c))) << "frame " << i;
        ASSERT_EQ(right[i], heard(width, rightOf(width, c))) << "frame " << i;
        expected = c + 1;
        ++checked;
    }
    EXPECT_GE(checked, kWanted);
}

INSTANTIATE_TEST_SUITE_P(Widths, StreamEngineLoopback, ::testing::Values(16, 24, 32));

TEST_F(StreamEngineTest, DevicePlaysPrimedAndMutedSilenceThenHostAudioPacedByInput) {
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    // Stale host audio in both halves: the muted blocks must not carry it.
    for (long which = 0; which < 2; ++which)
        for (long channel = 0; channel < 2; ++channel)
            std::memset(half(false, channel, which), 0x7F, kFrames * 2);
    std::atomic<uint32_t> counter{0};
    std::atomic<int> aheadOfDevice{0};
    record.hook = [&](int index, long which, ASIOTime*) {
        if (sim::state()->inBlocksRecorded < index + 1)
            ++aheadOfDevice; // a switch without a recorded block
        playCounter(16, counter, which);
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    // The panel's width choice arriving mid-stream waits for the next start.
    driver.object().sampleWidth = 32;
    constexpr LONG kBlockBytes = kFrames * 4;
    EXPECT_TRUE(waitFor([&] { return sim::state()->playedBytes >= 10 * kBlockBytes; }));
    stopAndMark();
    EXPECT_EQ(aheadOfDevice, 0);
    EXPECT_GE(record.switches, sim::state()->inBlocksRecorded - kRingBlocks)
        << "every recorded block but those still waiting in the ring got its switch";

    const uint8_t* played = sim::state()->played;
    for (LONG i = 0; i < 6 * kBlockBytes; ++i)
        ASSERT_EQ(played[i], 0) << "byte " << i << ": four primed and two muted blocks are silent";
    for (uint32_t c = 1; c <= 4 * kFrames; ++c) {
        const uint8_t* frame = played + 6 * kBlockBytes + (c - 1) * 4;
        ASSERT_EQ(load(frame, 2), leftOf(16, c)) << "frame " << c;
        ASSERT_EQ(load(frame + 2, 2), rightOf(16, c)) << "frame " << c;
    }
}

TEST_F(StreamEngineTest, OutputOnlyStreamSwitchesWheneverFewerThanFourBlocksAreQueued) {
    ASSERT_EQ(createBuffers(24, false, true), ASE_OK);
    std::atomic<int> tooFarAhead{0};
    record.hook = [&](int index, long, ASIOTime*) {
        // Sent so far: four primed blocks and one per switch, this one included.
        if (4 + index + 1 - sim::state()->outBlocksPlayed > 4)
            ++tooFarAhead;
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.switches >= 30; }));
    stopAndMark();
    EXPECT_EQ(tooFarAhead, 0);
    EXPECT_EQ(sim::state()->inOpenCount, 0) << "no input in the buffer set, none opened";
}

TEST_F(StreamEngineTest, StopLeavesZeroedRingsAndAFreeDeviceAndNoLaterCallbacks) {
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    // At once after the start: the four primed blocks are still queued at the device.
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_TRUE(ringIsZero(engine().outRing(0)));
    EXPECT_TRUE(ringIsZero(engine().inRing(0)));
    EXPECT_TRUE(deviceIsFree());

    // Streaming, with stop called from a thread of the host's other than the starting one. The
    // host takes its time in each switch, so stop often comes while one is in flight: stop must
    // not return before it is over.
    record.hook = [&](int, long, ASIOTime*) {
        Sleep(2);
        if (record.stopReturned)
            ++record.afterStop;
    };
    for (int round = 0; round < 5; ++round) {
        record.stopReturned = false;
        const int before = record.switches;
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(waitFor([&] { return record.switches >= before + 5; }));
        std::thread([&] { stopAndMark(); }).join();
        Sleep(50); // room for a stray switch to show
        EXPECT_EQ(record.afterStop, 0) << "round " << round;
        EXPECT_EQ(driver.object().openOutCount + driver.object().openInCount, 0);
        EXPECT_TRUE(ringIsZero(engine().outRing(0)));
        EXPECT_TRUE(ringIsZero(engine().inRing(0)));
        EXPECT_TRUE(deviceIsFree());
    }
}

TEST_F(StreamEngineTest, StopReturnsWhileTheHostHoldsItsCallback) {
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> inside{false}, returned{false};
    record.hook = [&](int index, long, ASIOTime*) {
        if (index != 2)
            return;
        inside = true;
        WaitForSingleObject(release.get(), INFINITE); // a host waiting for its own stop
        returned = true;
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitFor([&] { return inside.load(); }));

    // stop, disposeBuffers and the release all come back although the callback is still held.
    std::atomic<bool> released{false};
    std::thread hostThread([&] {
        stopAndMark();
        driver->disposeBuffers();
        driver.reset();
        released = true;
    });
    const bool hostCameBack = waitFor([&] { return released.load(); });
    SetEvent(release.get());
    hostThread.join();
    EXPECT_TRUE(hostCameBack);
    ASSERT_TRUE(waitFor([&] { return returned.load(); }));
    Sleep(50); // the thread leaves without touching the released driver
    EXPECT_EQ(record.afterStop, 0);
    EXPECT_TRUE(deviceIsFree());
}

TEST_F(StreamEngineTest, HostStopsFromInsideItsCallbackAndStartsAgain) {
    ASSERT_EQ(createBuffers(32, true, true), ASE_OK);
    std::atomic<int> stopResult{1};
    record.hook = [&](int index, long, ASIOTime*) {
        if (index == 3) {
            stopResult = driver->stop();
            record.stopReturned = true;
        }
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitFor([&] { return stopResult.load() != 1; }));
    EXPECT_EQ(stopResult, ASE_OK);
    Sleep(50);
    EXPECT_EQ(record.afterStop, 0);
    EXPECT_EQ(record.switches, 4);

    record.stopReturned = false;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.switches >= 10; }));
    EXPECT_EQ(driver->stop(), ASE_OK);
}

TEST_F(StreamEngineTest, ResetRequestReachesTheHostOnlyWhileBuffersExist) {
    AsioSharedBlock* b = driver.object().block();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    b->resetRequest = 1;
    EXPECT_TRUE(waitFor([&] { return record.resetRequests == 1; }));
    EXPECT_EQ(b->resetRequest, 0);

    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    b->resetRequest = 1;
    Sleep(1500); // longer than the monitor's poll
    EXPECT_EQ(record.resetRequests, 1);
    EXPECT_EQ(b->resetRequest, 1) << "kept for the next buffer set";
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.resetRequests == 2; }));
    EXPECT_EQ(b->resetRequest, 0);
}

TEST_F(StreamEngineTest, HostMayDisposeItsBuffersInsideTheResetRequest) {
    AsioSharedBlock* b = driver.object().block();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    std::atomic<int> disposed{0};
    record.onReset = [&] {
        if (disposed == 0)
            disposed = driver->disposeBuffers() == ASE_OK ? 1 : -1;
    };
    b->resetRequest = 1;
    ASSERT_TRUE(waitFor([&] { return disposed != 0; }));
    EXPECT_EQ(disposed, 1);
    EXPECT_FALSE(driver.object().isRunning);

    // The reopened buffer set gets a monitor of its own.
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    b->resetRequest = 1;
    EXPECT_TRUE(waitFor([&] { return record.resetRequests == 2; }));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(StreamEngineTest, FailingStartClosesWhatItOpenedAndCanBeRetried) {
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    int32_t sim::SimFaults::*const faults[] = {
        &sim::SimFaults::outOpenFails, &sim::SimFaults::inOpenFails,
        &sim::SimFaults::prepareFails, &sim::SimFaults::inQueueFails,
        &sim::SimFaults::inStartFails, &sim::SimFaults::outWriteFails};
    for (auto fault : faults) {
        sim::state()->faults.*fault = 1;
        EXPECT_EQ(driver->start(), ASE_NotPresent);
        sim::state()->faults.*fault = 0;
        EXPECT_FALSE(driver.object().isRunning);
        EXPECT_EQ(driver.object().openOutCount + driver.object().openInCount, 0);
        EXPECT_TRUE(ringIsZero(engine().outRing(0)));
        EXPECT_TRUE(ringIsZero(engine().inRing(0)));
        EXPECT_TRUE(deviceIsFree());
    }
    EXPECT_EQ(record.switches, 0);

    // A width the device cannot carry never opens anything.
    sim::clearRecord();
    driver.object().sampleWidth = 20;
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    EXPECT_EQ(sim::state()->outOpenCount + sim::state()->inOpenCount, 0);
    driver.object().sampleWidth = 16;

    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.switches >= 5; }));
    EXPECT_EQ(driver->stop(), ASE_OK);
}

TEST_F(StreamEngineTest, UnplugOrStalledClockMidStreamNeitherHangsNorBreaksTheDriver) {
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitFor([&] { return record.switches >= 5; }));
    sim::state()->faults.clockStalled = 1;
    Sleep(100);
    const int stalledAt = record.switches;
    Sleep(100);
    EXPECT_LE(record.switches, stalledAt + kRingBlocks) << "no blocks, no switches";
    EXPECT_EQ(driver->stop(), ASE_OK);
    sim::state()->faults.clockStalled = 0;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.switches >= stalledAt + 5; }));

    sim::state()->unplugged = 1;
    Sleep(100);
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    driver.reset();

    sim::state()->unplugged = 0;
    ASSERT_TRUE(driver.create());
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    const int before = record.switches;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.switches >= before + 5; }));
}

// Callbacks a host leaves null are never called; the time record carries the switch's
// position and time, which getSamplePosition reports as a pair.
TEST_F(StreamEngineTest, CallsOnlyTheCallbacksTheHostGave) {
    record.supportsTimeInfo = 1;
    callbacks.bufferSwitchTimeInfo = nullptr;
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return record.plainSwitches >= 5; }));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);

    callbacks = {nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    driver.object().block()->resetRequest = 1;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitFor([&] { return sim::state()->inBlocksRecorded >= 10; }));
    EXPECT_TRUE(waitFor([&] { return driver.object().block()->resetRequest == 0; }));
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(record.resetRequests, 0);
}

TEST_F(StreamEngineTest, TimeRecordAndSamplePositionDescribeTheSameSwitch) {
    record.supportsTimeInfo = 1;
    callbacks.bufferSwitch = nullptr;
    ASSERT_EQ(createBuffers(16, true, true), ASE_OK);
    EXPECT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_SUCCESS);
    constexpr int kSwitches = 40;
    std::vector<ASIOTimeStamp> stampOf(kSwitches + 1);
    std::atomic<int> wrong{0};
    record.hook = [&](int index, long, ASIOTime* time) {
        if (index >= kSwitches)
            return;
        const unsigned long position = time->timeInfo.samplePosition.lo;
        if (time->timeInfo.samplePosition.hi != 0 || position != (index + 1UL) * kFrames ||
            time->timeCode.timeCodeSamples.lo != position + 600 * 44100)
            ++wrong;
        stampOf[index + 1] = time->timeInfo.systemTime;
    };
    ASSERT_EQ(driver->start(), ASE_OK);
    // Read as fast as possible while the streaming thread writes.
    std::vector<std::pair<ASIOSamples, ASIOTimeStamp>> readings;
    readings.reserve(200000);
    const DWORD begin = GetTickCount();
    while (record.switches < kSwitches && GetTickCount() - begin < kLivenessMs) {
        ASIOSamples position;
        ASIOTimeStamp stamp;
        ASSERT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);
        if (readings.size() < readings.capacity())
            readings.push_back({position, stamp});
        else
            Sleep(1);
    }
    stopAndMark();
    EXPECT_GE(record.switches, kSwitches);
    EXPECT_EQ(record.plainSwitches, 0);
    EXPECT_EQ(wrong, 0);
    for (const auto& [position, stamp] : readings) {
        ASSERT_EQ(position.lo % kFrames, 0u);
        const size_t index = position.lo / kFrames;
        if (index == 0 || index > kSwitches)
            continue; // before the first switch, or a switch the hook did not record
        ASSERT_EQ(stamp.lo, stampOf[index].lo) << "switch " << index;
        ASSERT_EQ(stamp.hi, stampOf[index].hi) << "switch " << index;
    }
}

} // namespace
