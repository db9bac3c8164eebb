// The monitor thread: while a buffer set exists it passes the control panel's reset request
// (set in the shared block) on to the host, once a second.
#include "AsioSample.h"
#include "StreamEngine.h"

#include <atomic>

namespace {

constexpr DWORD kPollMs = 1000;
constexpr DWORD kEndWaitMs = 1000;

// False when the thread was let go inside the host and must leave.
bool passResetRequest(EngineThread::Control& control, AsioSample& driver) {
    AsioSharedBlock* b = driver.block();
    if (b == nullptr || control.stopRequested())
        return true;
    // The panel sets the request from its own process: taken and cleared in one step.
    if (std::atomic_ref<int32_t>(b->resetRequest).exchange(0) == 0)
        return true;
    ASIOCallbacks* callbacks = driver.hostCallbacks.load();
    if (callbacks == nullptr || callbacks->asioMessage == nullptr)
        return true;
    if (!control.enterHost())
        return false;
    callbacks->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    return control.leaveHost();
}

void monitorLoop(EngineThread::Control& control, AsioSample& driver) {
    do {
        if (!passResetRequest(control, driver))
            return;
    } while (control.sleep(kPollMs));
}

void configureMonitor(HANDLE thread) {
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) && processMask != 0)
        SetThreadAffinityMask(thread, processMask);
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    SetThreadPriorityBoost(thread, FALSE); // FALSE keeps boosting enabled
}

} // namespace

// A monitor that cannot be created only means reset requests wait; buffers still work.
void startMonitor(AsioSample& driver) {
    EngineThread& monitor = engine().monitor;
    if (ownsDevice(driver) && !monitor.running())
        monitor.start(driver, monitorLoop, configureMonitor);
}

void stopMonitor(AsioSample& driver) {
    if (ownsDevice(driver))
        engine().monitor.end(kEndWaitMs);
}
