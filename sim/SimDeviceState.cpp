#include "SimDeviceState.h"

#include "SharedRead.h"

#include "common/NamedMapping.h"

#include <cstdlib>
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

    s->topologyFilterCount = 2;
    copyText(s->topologyFilters[0].instanceId, kOtherInstanceId);
    copyText(s->topologyFilters[0].service, kOtherService);
    copyText(s->topologyFilters[0].interfacePath, kOtherTopologyPath);
    copyText(s->topologyFilters[1].instanceId, kDefaultInstanceId);
    copyText(s->topologyFilters[1].service, kDeviceService);
    copyText(s->topologyFilters[1].interfacePath, kDefaultTopologyPath);

    // The device's endpoints, after another device's render endpoint.
    s->endpointCount = 3;
    SimEndpoint& other = s->endpoints[0];
    other.flow = 0;
    other.active = 1;
    copyText(other.id, kOtherRenderEndpoint);
    copyText(other.friendlyName, L"Speakers (USB Headset)");
    copyText(other.hostDevice, kOtherHostText);
    SimEndpoint& render = s->endpoints[1];
    render.flow = 0;
    render.ofDevice = 1;
    render.active = 1;
    copyText(render.id, kDefaultRenderEndpoint);
    copyText(render.friendlyName, L"Speakers (Quenvora-K9)");
    copyText(render.hostDevice, kDeviceHostText);
    SimEndpoint& capture = s->endpoints[2];
    capture.flow = 1;
    capture.ofDevice = 1;
    capture.active = 1;
    copyText(capture.id, kDefaultCaptureEndpoint);
    copyText(capture.friendlyName, L"Line In (Quenvora-K9)");
    copyText(capture.hostDevice, kDeviceHostText);

    // Another device's mixer first, a mixer without a device path, then the device's.
    s->mixerCount = 3;
    copyText(s->mixers[0].interfacePath, kOtherMixerPath);
    copyText(s->mixers[0].name, "USB Headset");
    copyText(s->mixers[1].name, "Legacy Mixer");
    copyText(s->mixers[2].interfacePath, kDefaultMixerPath);
    copyText(s->mixers[2].name, "Quenvora-K9 Mixer");
    s->mixers[2].ofDevice = 1;

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

// Held for the life of the module on purpose: the device must not vanish between two uses, and
// in a program a clock thread may still touch the state while its static objects are torn down.
struct MachineMapping {
    NamedMapping mapping;
    UniqueHandle lock;
};

// True when this code lives in a DLL rather than in the program: a driver that hosts load and
// unload again and again.
bool inLoadableModule() {
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(reinterpret_cast<const void*>(&inLoadableModule), &region, sizeof(region)) ==
        0)
        return false;
    return region.AllocationBase != static_cast<void*>(GetModuleHandleW(nullptr));
}

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

// A DLL's exit functions run when it is unloaded, when none of its threads is left (or the
// process is ending and they are gone): the view and the lock go with the module, or every load
// of the driver would leave one behind.
void releaseMachineMapping() {
    MachineMapping& m = machineMapping();
    m.mapping = NamedMapping{};
    m.lock.reset();
}

SimState* openState() {
    MachineMapping& m = machineMapping();
    if (inLoadableModule())
        std::atexit(releaseMachineMapping);
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

SimChosenFormat readChosen(const SimChosenFormat& format) {
    return SimChosenFormat{sharedRead(format.fixed), sharedRead(format.wireBits),
                           sharedRead(format.rate)};
}

SimState* state() {
    static SimState* s = openState();
    return s;
}

void resetToDefaults() {
    SimState* s = state();
    MachineLock lock(machineMapping().lock.get());
    // Windows registered for device notices belong to running programs, not to the device.
    SimNoticeWindow windows[kMaxNoticeWindows];
    std::memcpy(windows, s->noticeWindows, sizeof(windows));
    writeDefaults(s);
    std::memcpy(s->noticeWindows, windows, sizeof(windows));
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
