// The service control manager of the simulated machine: services are created, opened and
// deleted in the real one (Wine carries that); starting and stopping the Trelvik kernel driver
// is simulated, since no kernel driver can run here. Its device appears while it runs.
#include "ports/win32/ServicesWin32.h"

#include "common/CriticalSection.h"
#include "SharedRead.h"
#include "SimDeviceState.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char kTrelvikService[] = "Trelvik";

// Service handles of this process that stand for the Trelvik service.
class TrelvikHandles {
public:
    void add(SC_HANDLE h) {
        Locked l(lock_);
        handles_.push_back(h);
    }
    bool contains(SC_HANDLE h) {
        Locked l(lock_);
        return std::find(handles_.begin(), handles_.end(), h) != handles_.end();
    }
    void remove(SC_HANDLE h) {
        Locked l(lock_);
        handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end());
    }

private:
    CriticalSection lock_;
    std::vector<SC_HANDLE> handles_;
};

TrelvikHandles& trelvikHandles() {
    static TrelvikHandles* t = new TrelvikHandles();
    return *t;
}

class SimServices final : public ServicesWin32 {
public:
    SC_HANDLE createService(SC_HANDLE manager, const char* name, const char* displayName,
                            DWORD access, DWORD type, DWORD startType, DWORD errorControl,
                            const char* binaryPath) override {
        return note(name, ServicesWin32::createService(manager, name, displayName, access, type,
                                                       startType, errorControl, binaryPath));
    }
    SC_HANDLE openService(SC_HANDLE manager, const char* name, DWORD access) override {
        return note(name, ServicesWin32::openService(manager, name, access));
    }

    BOOL startService(SC_HANDLE service, DWORD argc, const char** argv) override {
        if (!trelvikHandles().contains(service))
            return ServicesWin32::startService(service, argc, argv);
        sim::SimState* s = sim::state();
        if (sim::switchedOn(s->faults.trelvikStartFails)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&s->trelvik.running), 1,
                                       0) != 0) {
            SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
        InterlockedIncrement(&s->trelvik.starts);
        return TRUE;
    }

    BOOL controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
        if (!trelvikHandles().contains(service))
            return ServicesWin32::controlService(service, control, status);
        if (status != nullptr)
            *status = SERVICE_STATUS{SERVICE_KERNEL_DRIVER, SERVICE_STOPPED, 0, 0, 0, 0, 0};
        sim::SimState* s = sim::state();
        if (control != SERVICE_CONTROL_STOP) {
            SetLastError(ERROR_INVALID_SERVICE_CONTROL);
            return FALSE;
        }
        if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&s->trelvik.running), 0,
                                       1) != 1) {
            SetLastError(ERROR_SERVICE_NOT_ACTIVE);
            return FALSE;
        }
        InterlockedIncrement(&s->trelvik.stops);
        return TRUE;
    }

    BOOL closeServiceHandle(SC_HANDLE handle) override {
        trelvikHandles().remove(handle);
        return ServicesWin32::closeServiceHandle(handle);
    }

private:
    static SC_HANDLE note(const char* name, SC_HANDLE handle) {
        if (handle != nullptr && name != nullptr && lstrcmpiA(name, kTrelvikService) == 0) {
            try {
                trelvikHandles().add(handle);
            } catch (...) {
                // Without the note the handle acts as an ordinary service's.
            }
        }
        return handle;
    }
};

} // namespace

Services& services() {
    static SimServices instance;
    return instance;
}
