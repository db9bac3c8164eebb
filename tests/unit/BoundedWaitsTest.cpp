// Nothing a host calls may wait without end: not for a device that never returns from a call,
// not for a streaming thread pre-empted in the middle of publishing the sample position.
#include "InProcessDriver.h"

#include "asio/PositionRecord.h"
#include "common/UniqueResource.h"
#include "ports/WaveEndpoints.h"
#include "support/DeviceIsFree.h"

#include <atomic>
#include <functional>

namespace {

// Liveness only: how long something that must happen may take on a loaded machine.
constexpr DWORD kLivenessMs = 8000;

bool same(const PositionRecord::Snapshot& a, const PositionRecord::Snapshot& b) {
    return a.samples == b.samples && a.timeHi == b.timeHi && a.timeLo == b.timeLo;
}

struct CallJob {
    std::function<void()> call;
};
DWORD WINAPI runCall(void* p) {
    static_cast<CallJob*>(p)->call();
    return 0;
}

// Runs `call` on a thread of its own; false when it has not returned within `ms`.
bool returnsWithin(std::function<void()> call, DWORD ms) {
    auto* job = new CallJob{std::move(call)};
    UniqueHandle thread(CreateThread(nullptr, 0, &runCall, job, 0, nullptr));
    if (!thread) {
        delete job;
        return false;
    }
    const bool returned = WaitForSingleObject(thread.get(), ms) == WAIT_OBJECT_0;
    if (returned)
        delete job;
    else
        sim::state()->faults.callsHang = 0; // let it come back so the run can end
    return returned;
}

std::atomic<long> switches{0};
std::atomic<bool> stopReturned{false};
std::atomic<long> afterStop{0};
void onSwitch(long, ASIOBool) {
    ++switches;
    if (stopReturned)
        ++afterStop;
}
ASIOCallbacks callbacks{onSwitch, nullptr, nullptr, nullptr};

bool switchesAdvance() {
    const long before = switches.load();
    const DWORD begin = GetTickCount();
    while (switches.load() < before + 5) {
        if (GetTickCount() - begin > kLivenessMs)
            return false;
        Sleep(5);
    }
    return true;
}

class BoundedWaits : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        switches = 0;
        stopReturned = false;
        afterStop = 0;
    }
    void TearDown() override {
        sim::state()->faults.callsHang = 0;
        driver.reset();
        sim::resetToDefaults();
        clearDriverProfile();
    }

    void startStreaming() {
        ASSERT_NO_FATAL_FAILURE(driver.openDuplexBuffers(callbacks));
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(switchesAdvance());
    }

    InProcessDriver driver;
};

} // namespace

TEST(PositionRecordReads, AWriterPreEmptedMidUpdateYieldsAConsistentPair) {
    PositionRecord record;
    const PositionRecord::Snapshot older{1024.0, 7, 0x1000};
    const PositionRecord::Snapshot newer{1280.0, 8, 0x2000};
    record.write(older);
    PositionRecord::Snapshot seen[2];
    // The reader runs while the writer stands still in the middle of each copy, as a host thread
    // of higher priority does on one processor: it must neither spin nor mix the two switches.
    record.write(newer, [&](int copy) { seen[copy] = record.read(); });
    EXPECT_TRUE(same(seen[0], older)) << "while the first copy is half written";
    EXPECT_TRUE(same(seen[1], newer)) << "while the second copy is half written";
    EXPECT_TRUE(same(record.read(), newer));
}

namespace {

struct WriterShared {
    PositionRecord record;
    std::atomic<bool> stop{false};
};
DWORD WINAPI keepWriting(void* p) {
    auto* s = static_cast<WriterShared*>(p);
    for (uint32_t n = 1; !s->stop.load(); ++n)
        s->record.write({static_cast<double>(n), n, n});
    return 0;
}

DWORD WINAPI answerAgainSoon(void*) {
    Sleep(300); // shorter than stop's own wait
    sim::state()->faults.callsHang = 0;
    return 0;
}

} // namespace

TEST(PositionRecordReads, ReadsBesideARunningWriterNeverMixTwoSwitches) {
    WriterShared shared;
    UniqueHandle writer(CreateThread(nullptr, 0, &keepWriting, &shared, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    int mixed = 0;
    for (int i = 0; i < 200000; ++i) {
        const PositionRecord::Snapshot v = shared.record.read();
        if (v.timeHi != v.timeLo || static_cast<double>(v.timeHi) != v.samples)
            ++mixed;
    }
    shared.stop = true;
    WaitForSingleObject(writer.get(), INFINITE);
    EXPECT_EQ(mixed, 0);
}

TEST_F(BoundedWaits, StopDisposeAndReleaseReturnWhenTheDeviceNeverAnswers) {
    startStreaming();
    // The streaming thread's next block write hangs, and so does every reset and close.
    sim::state()->faults.callsHang = 1;

    EXPECT_TRUE(returnsWithin(
        [&] {
            EXPECT_EQ(driver->stop(), ASE_OK);
            stopReturned = true;
        },
        kLivenessMs))
        << "stop waited for the device";
    EXPECT_FALSE(driver.object().isRunning.load());
    Sleep(50);
    EXPECT_EQ(afterStop, 0) << "no switch after stop returned";
    EXPECT_EQ(driver->start(), ASE_NotPresent) << "the device still holds its endpoints";
    EXPECT_TRUE(returnsWithin([&] { EXPECT_EQ(driver->disposeBuffers(), ASE_OK); }, kLivenessMs));
    EXPECT_TRUE(returnsWithin([&] { driver.reset(); }, kLivenessMs)) << "the release waited";

    // The device answers again: the call comes back, the endpoints are closed, and a new driver
    // streams on it.
    sim::state()->faults.callsHang = 0;
    const DWORD begin = GetTickCount();
    while (!deviceIsFree() && GetTickCount() - begin < kLivenessMs)
        Sleep(20);
    EXPECT_TRUE(deviceIsFree());
    startStreaming();
    EXPECT_EQ(driver->stop(), ASE_OK);
}

TEST_F(BoundedWaits, AStopThatHungOnlyForAWhileLeavesTheDriverUsable) {
    startStreaming();
    sim::state()->faults.callsHang = 1;
    UniqueHandle thread(CreateThread(nullptr, 0, &answerAgainSoon, nullptr, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    EXPECT_EQ(driver->stop(), ASE_OK);
    WaitForSingleObject(thread.get(), INFINITE);
    EXPECT_TRUE(deviceIsFree());
    ASSERT_EQ(driver->start(), ASE_OK) << "closed in time: the same object streams again";
    EXPECT_TRUE(switchesAdvance());
    EXPECT_EQ(driver->stop(), ASE_OK);
}
