#include "EngineThread.h"

#include "AsioSample.h"
#include "ModuleReference.h"

#include <new>
#include <utility>

namespace {

// How often an owner that has waited its time looks again whether the thread is in the host.
constexpr DWORD kRecheckMs = 10;

} // namespace

EngineThread::~EngineThread() {
    // Only reached at process exit: a thread still there is asked to go, not waited for.
    if (Control* control = std::exchange(control_, nullptr)) {
        control->requestStop();
        control->release();
    }
}

bool EngineThread::start(AsioSample& driver, Body body, void (*configure)(HANDLE thread)) {
    if (control_ != nullptr)
        return true;
    auto* control = new (std::nothrow) Control;
    if (control == nullptr)
        return false;
    control->driver_ = &driver;
    control->body_ = body;
    control->wake_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!control->wake_) {
        delete control;
        return false;
    }
    // The thread's own reference to the module, dropped as it exits.
    control->module_ = referenceDriverModule();
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &Control::main, control, CREATE_SUSPENDED, &id);
    if (thread == nullptr) {
        if (control->module_ != nullptr)
            FreeLibrary(control->module_);
        delete control;
        return false;
    }
    // The thread's own hold on the object, given back as it leaves.
    driver.holdMemory();
    control->threadId_ = id;
    thread_.reset(thread);
    control_ = control;
    if (configure != nullptr)
        configure(thread);
    ResumeThread(thread);
    return true;
}

void EngineThread::end(DWORD waitMs) {
    Control* control = std::exchange(control_, nullptr);
    UniqueHandle thread = std::move(thread_);
    if (control == nullptr)
        return;
    control->requestStop();
    if (GetCurrentThreadId() == control->threadId_) {
        // The host ends the thread from inside its own callback: it leaves once that returns.
        control->letGoIfInHost();
    } else if (WaitForSingleObject(thread.get(), waitMs) == WAIT_TIMEOUT) {
        // Still inside the host after the wait: the host is holding its callback, perhaps
        // until this very call returns. Let it go rather than hang the host, and never kill
        // it: that would leave the host's locks and heap as they were mid-call. In the
        // driver's own code it is waited for; that code runs without blocking.
        while (!control->letGoIfInHost() && control->phase_.load() != Control::Leaving &&
               WaitForSingleObject(thread.get(), kRecheckMs) == WAIT_TIMEOUT) {
        }
    }
    control->release();
}

DWORD WINAPI EngineThread::Control::main(void* param) {
    auto* control = static_cast<Control*>(param);
    HMODULE module = control->module_;
    try {
        control->body_(*control, *control->driver_);
    } catch (...) {
        OutputDebugStringA("QvK9ASIO: unexpected failure in a driver thread");
    }
    // A host that released the object while this thread ran frees it here.
    control->driver_->releaseMemory();
    control->phase_.store(Leaving);
    control->release();
    if (module != nullptr)
        FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool EngineThread::Control::sleep(DWORD ms) {
    return sleepUntil(nullptr, ms);
}

bool EngineThread::Control::sleepUntil(HANDLE event, DWORD ms) {
    const HANDLE handles[] = {wake_.get(), event};
    if (WaitForMultipleObjects(event != nullptr ? 2 : 1, handles, FALSE, ms) == WAIT_FAILED)
        Sleep(ms);
    return !stop_.load();
}

bool EngineThread::Control::enterHost() {
    phase_.store(InHost);
    if (!stop_.load())
        return true;
    int expected = InHost;
    phase_.compare_exchange_strong(expected, InDriver);
    return false;
}

bool EngineThread::Control::leaveHost() {
    int expected = InHost;
    return phase_.compare_exchange_strong(expected, InDriver);
}

void EngineThread::Control::requestStop() {
    stop_.store(true);
    SetEvent(wake_.get());
}

bool EngineThread::Control::letGoIfInHost() {
    int expected = InHost;
    return phase_.compare_exchange_strong(expected, LetGo);
}

void EngineThread::Control::release() {
    if (refs_.fetch_sub(1) == 1)
        delete this;
}
