#include "SimDeviceState.h"

#include "common/NamedMapping.h"

#include <cstring>
#include <cwchar>

namespace sim {

namespace {

// Serialises the first process's set-up of the machine against every other process's first look.
constexpr char kStateLockName[] = "QvK9Sim Machine State Lock";

template <size_t N>
void copyText(char (&to)[N], const char* from) {
    std::strncpy(to, from, N - 1);
    to[N - 1] = '\0';
}

template <size_t N>
void copyText(wchar_t (&to)[N], const wchar_t* from) {
    std::wcsncpy(to, from, N - 1);
    to[N - 1] = L'\0';
}

void writeDefaults(SimState* s) {
    std::memset(static_cast<void*>(s), 0, sizeof(SimState));

    s->outDeviceCount = 1;
    copyText(s->outDevices[0].interfacePath, kDefaultOutPath);
    copyText(s->outDevices[0].productName, kDefaultOutProductName);
    s->inDeviceCount = 1;
    copyText(s->inDevices[0].interfacePath, kDefaultInPath);
    copyText(s->inDevices[0].productName, kDefaultInProductName);
    s->devNodeCount = 1;
    copyText(s->devNodes[0].instanceId, kDefaultInstanceId);
    copyText(s->devNodes[0].friendlyName, kDefaultFriendlyName);

    // Off; when a test switches it on without filling it in, the machine is a Windows 7 PC.
    s->version.platformId = VER_PLATFORM_WIN32_NT;
    s->version.major = 6;
    s->version.minor = 1;
    s->version.build = 7601;
    s->version.productType = VER_NT_WORKSTATION;
    s->version.hasNativeSystemInfo = 1;
    s->version.nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;

    s->loopbackDelayFrames = kDefaultLoopbackDelayFrames;
    MemoryBarrier();
    s->magic = kStateMagic;
}

// Held for the life of the process on purpose: the device must not vanish between two uses, and
// a clock thread may still touch the state while the process's static objects are torn down.
struct MachineMapping {
    NamedMapping mapping;
    UniqueHandle lock;
};

class MachineLock {
public:
    explicit MachineLock(HANDLE mutex) : mutex_(mutex) {
        // An abandoned lock (a process died inside) still hands over ownership.
        owned_ = mutex_ != nullptr && WaitForSingleObject(mutex_, 10000) != WAIT_TIMEOUT;
    }
    ~MachineLock() {
        if (owned_)
            ReleaseMutex(mutex_);
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

private:
    HANDLE mutex_;
    bool owned_ = false;
};

MachineMapping& machineMapping() {
    static MachineMapping* holder = new MachineMapping{};
    return *holder;
}

SimState* openState() {
    MachineMapping& m = machineMapping();
    m.lock.reset(CreateMutexA(nullptr, FALSE, kStateLockName));
    MachineLock lock(m.lock.get());
    m.mapping = OpenOrCreateMapping(kStateMappingName, sizeof(SimState));
    SimState* s = nullptr;
    if (m.mapping.mapped()) {
        s = static_cast<SimState*>(m.mapping.view.get());
    } else {
        // Without the shared machine this process still gets a device of its own, not a crash.
        OutputDebugStringA("QvK9Sim: machine state not shared, using a private one\n");
        static SimState privateState;
        s = &privateState;
    }
    if (s->magic != kStateMagic)
        writeDefaults(s);
    return s;
}

} // namespace

SimState* state() {
    static SimState* s = openState();
    return s;
}

void resetToDefaults() {
    SimState* s = state();
    MachineLock lock(machineMapping().lock.get());
    writeDefaults(s);
}

void clearRecord() {
    SimState* s = state();
    InterlockedExchange(&s->outOpenCount, 0);
    InterlockedExchange(&s->inOpenCount, 0);
    std::memset(&s->lastOutFormat, 0, sizeof(s->lastOutFormat));
    std::memset(&s->lastInFormat, 0, sizeof(s->lastInFormat));
    InterlockedExchange(&s->outBlocksPlayed, 0);
    InterlockedExchange(&s->inBlocksRecorded, 0);
    InterlockedExchange(&s->underrunFrames, 0);
    InterlockedExchange(&s->inOverrunFrames, 0);
    InterlockedExchange(&s->playedBytes, 0);
}

} // namespace sim
