// The latencies the driver reports against what a host measures through the simulated device's
// loopback: a host that places its recordings by the reported figures must land within a buffer.
#include "InProcessDriver.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr long kSizes[] = {128, 256, 1024, 6144};

// The host side of the measurement: plays a frame counter (from 1) on the left output from its
// first switch on, and notes where the first non-silent input frame sits in the input stream.
struct LoopbackHost {
    long frames = 0;
    std::vector<ASIOBufferInfo> infos;
    std::atomic<long> switchIndex{0};
    std::atomic<long> found{-1};        // input stream position of the first counter frame heard
    std::atomic<long> counter{-1};      // the counter value heard there
    std::atomic<long> faultyFrames{-1}; // the device's underruns and lost input frames by then

    int16_t* half(bool input, long which) {
        for (ASIOBufferInfo& info : infos)
            if ((info.isInput != ASIOFalse) == input && info.channelNum == 0)
                return static_cast<int16_t*>(info.buffers[which]);
        return nullptr;
    }
};
LoopbackHost* host = nullptr;

void onSwitch(long which, ASIOBool) {
    const long index = host->switchIndex++;
    if (host->found < 0) {
        if (const int16_t* in = host->half(true, which)) {
            for (long j = 0; j < host->frames; ++j) {
                if (in[j] == 0)
                    continue;
                host->counter = static_cast<uint16_t>(in[j]);
                host->faultyFrames = sim::state()->underrunFrames + sim::state()->inOverrunFrames;
                host->found = index * host->frames + j;
                break;
            }
        }
    }
    int16_t* out = host->half(false, which);
    for (long j = 0; j < host->frames; ++j) {
        const long c = index * host->frames + j + 1;
        out[j] = static_cast<int16_t>(c < 32768 ? c : 0);
    }
}
long onMessage(long, long, void*, double*) {
    return 0;
}
ASIOCallbacks callbacks{onSwitch, nullptr, onMessage, nullptr};

class Latency : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        WriteProfileStringA("QvK9AsioDrv", "BitPerSample", "16");
        ASSERT_TRUE(driver.create());
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
        ASSERT_EQ(driver->setSampleRate(kRate), ASE_OK);
        driver.object().sampleWidth = 16;
    }
    void TearDown() override {
        driver.reset();
        host = nullptr;
        sim::resetToDefaults();
        clearDriverProfile();
    }

    ASIOError createBuffers(LoopbackHost& h, long frames, bool inputs) {
        h.frames = frames;
        h.infos.clear();
        if (inputs)
            h.infos.push_back({ASIOTrue, 0, {}});
        h.infos.push_back({ASIOFalse, 0, {}});
        return driver->createBuffers(h.infos.data(), static_cast<long>(h.infos.size()), frames,
                                     &callbacks);
    }

    void expectReported(long frames, long in, long out) {
        long reportedIn = 0, reportedOut = 0;
        ASSERT_EQ(driver->getLatencies(&reportedIn, &reportedOut), ASE_OK);
        EXPECT_EQ(reportedIn, in) << frames << " frames";
        EXPECT_EQ(reportedOut, out) << frames << " frames";
    }

    InProcessDriver driver;
};

} // namespace

TEST_F(Latency, ReportedFromTheDriversOwnQueueingInBothPacingModes) {
    expectReported(0, 6144, 12288); // before the first buffer set: no stream to measure yet
    for (const bool inputs : {true, false}) {
        for (const long frames : kSizes) {
            LoopbackHost h;
            ASSERT_EQ(createBuffers(h, frames, inputs), ASE_OK);
            expectReported(frames, frames, 5 * frames);
            ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
            expectReported(frames, frames, 5 * frames); // until the next buffer set
        }
    }
}

// The measured round trip minus the device's own loop delay matches the reported input plus
// output latency within one buffer. A run in which the device under- or overran (a loaded
// machine) shifts the figure by what it lost, and is tried again.
TEST_F(Latency, ReportedFiguresMatchTheLoopbackRoundTrip) {
    const long delay = sim::state()->loopbackDelayFrames;
    for (const long frames : kSizes) {
        bool measured = false;
        for (int attempt = 0; attempt < 3 && !measured; ++attempt) {
            LoopbackHost h;
            host = &h;
            ASSERT_EQ(createBuffers(h, frames, true), ASE_OK);
            sim::clearRecord();
            ASSERT_EQ(driver->start(), ASE_OK);
            const DWORD begin = GetTickCount();
            const DWORD patienceMs = static_cast<DWORD>(12 * frames * 1000 / kRate) + 5000;
            while (h.found < 0 && GetTickCount() - begin < patienceMs)
                Sleep(5);
            EXPECT_EQ(driver->stop(), ASE_OK);
            long in = 0, out = 0;
            driver->getLatencies(&in, &out);
            ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
            host = nullptr;
            ASSERT_GE(h.found.load(), 0) << frames << " frames: the loopback brought nothing";
            if (h.faultyFrames != 0)
                continue;
            measured = true;
            const long roundTrip = h.found - (h.counter - 1);
            const long queueing = roundTrip - delay;
            std::printf("[ latency  ] %ld frames: round trip %ld = loop %ld + %ld; reported %ld + "
                        "%ld\n",
                        frames, roundTrip, delay, queueing, in, out);
            EXPECT_LE(std::abs(queueing - (in + out)), frames)
                << frames << " frames: measured " << roundTrip << " with a loop of " << delay
                << ", reported " << in << " + " << out;
        }
        EXPECT_TRUE(measured) << frames << " frames: the device under- or overran every time";
    }
}
