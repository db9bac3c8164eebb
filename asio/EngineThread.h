// The driver's own threads that call into the host: the streaming thread and the monitor
// thread, and how they are ended safely whatever the host does inside its callbacks.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

#include <atomic>

class AsioSample;

// A driver thread that calls into the host: the streaming thread and the monitor thread.
//
// Whoever ends it waits for it. Only a thread that is inside a host callback may be let go:
// when the host keeps it there longer than the wait allows (a host that waits in stop for the
// very callback it is blocking), or when the host ends it from inside that callback. A thread
// that has been let go touches nothing of the driver once the host returns; it only leaves.
// The thread keeps the module loaded and the driver object's memory alive until it has left, so
// its code and the object outlive a host that releases the driver meanwhile.
class EngineThread {
public:
    class Control;
    using Body = void (*)(Control& control, AsioSample& driver);

    EngineThread() = default;
    ~EngineThread();
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    // Creates the thread suspended, lets `configure` set its priority, then lets it run.
    bool start(AsioSample& driver, Body body, void (*configure)(HANDLE thread));
    // Asks the thread to stop and waits for it: `waitMs` first, then on only while it runs
    // the driver's own code. Safe to call when no thread runs, and from the thread itself.
    void end(DWORD waitMs);
    bool running() const { return control_ != nullptr; }
    HANDLE handle() const { return thread_.get(); }

private:
    Control* control_ = nullptr;
    UniqueHandle thread_;
};

// What a running engine thread shares with its owner.
class EngineThread::Control {
public:
    // Sleeps up to `ms`; false when the thread is asked to stop.
    bool sleep(DWORD ms);
    // The same, waking early when `event` is set.
    bool sleepUntil(HANDLE event, DWORD ms);
    bool stopRequested() const { return stop_.load(); }

    // Brackets a host callback. enterHost is false when the call must not be made (the thread
    // is asked to stop); leaveHost is false when the thread was let go meanwhile and must leave
    // without touching the driver again.
    bool enterHost();
    bool leaveHost();

private:
    friend class EngineThread;
    enum Phase : int { InDriver, InHost, LetGo, Leaving };

    static DWORD WINAPI main(void* param);
    void requestStop();
    bool letGoIfInHost();
    void release();

    AsioSample* driver_ = nullptr;
    Body body_ = nullptr;
    HMODULE module_ = nullptr;
    DWORD threadId_ = 0;
    UniqueHandle wake_; // set when the thread is asked to stop
    std::atomic<bool> stop_{false};
    std::atomic<int> phase_{InDriver};
    std::atomic<int> refs_{2}; // the thread and its owner
};
