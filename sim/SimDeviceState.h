// The simulated machine with a Quenvora-K9 attached. It is one device, as real hardware is:
// its state lives in a named file mapping, so every process on the machine (a host with the
// driver inside, a test, a stand-in panel) sees and steers the same device.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstdint>

namespace sim {

constexpr char kStateMappingName[] = "QvK9Sim Machine State";
constexpr uint32_t kStateMagic = 0x51564B39; // "QVK9"
constexpr int kMaxWaveDevices = 8;
constexpr int kMaxDevNodes = 8;
constexpr DWORD kPlayedCapacity = 4 * 1024 * 1024;

// One wave device of one direction, as waveIn*/waveOut* enumerate it.
struct SimWaveDevice {
    // Answer of DRV_QUERYDEVICEINTERFACE; empty: the size query answers 0.
    wchar_t interfacePath[260];
    // szPname of the device capabilities.
    char productName[32];
};

// A device instance as the device-setup functions know it (KSCATEGORY_AUDIO interfaces).
struct SimDevNode {
    char instanceId[200];   // compared case-insensitively with the enumerator asked for
    char friendlyName[128]; // empty: the instance has no friendly name property
};

// What GetVersionExA and GetNativeSystemInfo answer when `active`; else the real system does.
struct SimVersion {
    int32_t active;
    int32_t failExtended; // the OSVERSIONINFOEXA form fails
    int32_t failBasic;    // the OSVERSIONINFOA form fails
    DWORD platformId;
    DWORD major;
    DWORD minor;
    DWORD build;
    BYTE productType;
    int32_t hasNativeSystemInfo;
    WORD nativeArchitecture;
};

// Fault switches; each stays on until a test switches it off.
struct SimFaults {
    int32_t outOpenFails;
    int32_t inOpenFails;
    int32_t prepareFails;  // waveOutPrepareHeader and waveInPrepareHeader
    int32_t outWriteFails; // waveOutWrite
    int32_t inQueueFails;  // waveInAddBuffer
    int32_t inStartFails;  // waveInStart
    int32_t clockStalled;  // the device clock stops: no block completes
    int32_t callsHang;     // write, add, reset, stop and close do not return until it is off
};

struct SimState {
    uint32_t magic;
    int32_t unplugged; // the device is gone: its wave devices vanish, opens fail, streams stop

    int32_t outDeviceCount;
    SimWaveDevice outDevices[kMaxWaveDevices];
    int32_t inDeviceCount;
    SimWaveDevice inDevices[kMaxWaveDevices];
    int32_t devNodeCount;
    SimDevNode devNodes[kMaxDevNodes];

    SimVersion version;
    SimFaults faults;

    // Input frame n carries output frame n - loopbackDelayFrames of the device clock.
    int32_t loopbackDelayFrames;

    // What the device did, for tests to look at.
    volatile LONG outOpenCount; // waveOutOpen successes since the last reset of the record
    volatile LONG inOpenCount;
    WAVEFORMATEXTENSIBLE lastOutFormat;
    WAVEFORMATEXTENSIBLE lastInFormat;
    volatile LONG outBlocksPlayed;  // output headers completed by the clock
    volatile LONG inBlocksRecorded; // input headers filled by the clock
    volatile LONG underrunFrames;   // frames the clock played with no output queued
    volatile LONG inOverrunFrames;  // frames the clock recorded with no input queued (lost)
    // Bytes of every output block as played (in play order), from the last clearRecord on,
    // until the capacity is full.
    volatile LONG playedBytes;
    uint8_t played[kPlayedCapacity];
};

// The state, opened or created with the default machine (one output and one input endpoint of
// the device, real system version, no faults). The mapping stays open for the process's life.
SimState* state();
// Back to the default machine; the record of what was played is cleared too.
void resetToDefaults();
// Clears the play record and the counters, keeping the configuration.
void clearRecord();

// The default machine's facts, for tests that compare against them.
constexpr wchar_t kDefaultOutPath[] = L"\\\\?\\USB#VID_1852&PID_7022&MI_01#7&1a2b3c4d&0&0001#"
                                      L"{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\Wave";
constexpr wchar_t kDefaultInPath[] = L"\\\\?\\USB#VID_1852&PID_7022&MI_01#7&1a2b3c4d&0&0001#"
                                     L"{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\Wave";
constexpr char kDefaultInstanceId[] = "USB\\VID_1852&PID_7022&MI_01\\7&1A2B3C4D&0&0001";
constexpr char kDefaultFriendlyName[] = "Calmora Quenvora-K9 USB Audio";
constexpr char kDefaultOutProductName[] = "Quenvora-K9 Out";
constexpr char kDefaultInProductName[] = "Quenvora-K9 In";
constexpr int32_t kDefaultLoopbackDelayFrames = 480;

} // namespace sim
