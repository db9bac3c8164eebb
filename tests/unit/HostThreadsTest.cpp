// Hosts call the driver from more than one thread: a callback that stops the stream while the
// host's main thread stops, disposes or releases the same object. Whatever the order, every
// call returns with the device given back, and no driver thread touches the object, its
// buffers or the rings after they are gone.
#include "InProcessDriver.h"

#include "asio/ComBase.h"
#include "common/UniqueResource.h"
#include "support/DeviceIsFree.h"

#include <atomic>

namespace {

constexpr DWORD kLivenessMs = 8000;
constexpr int kStopAtSwitch = 8;

IASIO* streamingDriver = nullptr;
std::atomic<long> switches{0};
std::atomic<bool> callbackReturned{false};
std::atomic<bool> objectLivedThroughOwnStop{false};
std::atomic<ASIOError> ownStopResult{ASE_OK};
UniqueHandle callbackStopping;

// At its switch the callback stops the stream itself while the device is slow to give its
// endpoints back, so that its stop is still running when the main thread goes on.
void onSwitch(long, ASIOBool) {
    if (++switches != kStopAtSwitch)
        return;
    sim::state()->faults.callsHang = 1;
    SetEvent(callbackStopping.get());
    ownStopResult = streamingDriver->stop();
    objectLivedThroughOwnStop = objectCount > 0;
    callbackReturned = true;
}
ASIOCallbacks callbacks{onSwitch, nullptr, nullptr, nullptr};

DWORD WINAPI answerAgainSoon(void*) {
    Sleep(300); // well inside stop's own wait for the device
    sim::state()->faults.callsHang = 0;
    return 0;
}

class HostThreads : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        clearDriverProfile();
        switches = 0;
        callbackReturned = false;
        objectLivedThroughOwnStop = false;
        ownStopResult = ASE_OK;
        callbackStopping.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    void TearDown() override {
        sim::state()->faults.callsHang = 0;
        driver.reset();
        sim::resetToDefaults();
        clearDriverProfile();
    }

    void startStreaming() {
        ASSERT_NO_FATAL_FAILURE(driver.openDuplexBuffers(callbacks));
        streamingDriver = driver.get(); // the callback stops the stream through it
        ASSERT_EQ(driver->start(), ASE_OK);
    }

    // Waits until the callback has begun its own stop, and lets the device answer soon after.
    UniqueHandle whenTheCallbackStops() {
        EXPECT_EQ(WaitForSingleObject(callbackStopping.get(), kLivenessMs), WAIT_OBJECT_0);
        return UniqueHandle(CreateThread(nullptr, 0, &answerAgainSoon, nullptr, 0, nullptr));
    }

    static bool settles(bool (*done)()) {
        const DWORD begin = GetTickCount();
        while (!done() && GetTickCount() - begin < kLivenessMs)
            Sleep(10);
        return done();
    }

    InProcessDriver driver;
};

bool noObjectLeft() {
    return objectCount == 0;
}
bool callbackDone() {
    return callbackReturned.load();
}

} // namespace

TEST_F(HostThreads, TheMainThreadsStopReturnsOnlyOnceTheCallbacksStopHasGivenTheDeviceBack) {
    startStreaming();
    UniqueHandle answer = whenTheCallbackStops();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_TRUE(deviceIsFree()) << "stop returned while the endpoints were still being closed";
    WaitForSingleObject(answer.get(), INFINITE);
    EXPECT_TRUE(settles(callbackDone));
    EXPECT_EQ(ownStopResult.load(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    driver.reset();
    EXPECT_TRUE(settles(noObjectLeft));
}

TEST_F(HostThreads, AReleaseDuringTheCallbacksOwnStopKeepsTheObjectUntilTheThreadHasLeft) {
    startStreaming();
    UniqueHandle answer = whenTheCallbackStops();
    driver.reset(); // the host lets go without stop, while its callback is still stopping
    WaitForSingleObject(answer.get(), INFINITE);
    ASSERT_TRUE(settles(callbackDone));
    EXPECT_TRUE(objectLivedThroughOwnStop.load()) << "the object was destroyed under its stop";
    EXPECT_EQ(ownStopResult.load(), ASE_OK);
    EXPECT_TRUE(settles(noObjectLeft)) << "the driver's own hold on the object was not given back";
    EXPECT_TRUE(settles(deviceIsFree));

    // Nothing of the old stream is left in the way of the next host.
    switches = 0;
    ResetEvent(callbackStopping.get());
    startStreaming();
    UniqueHandle again = whenTheCallbackStops();
    WaitForSingleObject(again.get(), INFINITE);
    EXPECT_TRUE(settles(callbackDone));
}
