// The simulated machine with a Quenvora-K9 attached. It is one device, as real hardware is:
// its state lives in a named file mapping, so every process on the machine (a host with the
// driver inside, a test, a stand-in panel) sees and steers the same device.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>

namespace sim {

constexpr char kStateMappingName[] = "QvK9Sim Machine State";
constexpr uint32_t kStateMagic = 0x51564B39; // "QVK9"
constexpr int kMaxWaveDevices = 8;
constexpr int kMaxDevNodes = 8;
constexpr DWORD kPlayedCapacity = 4 * 1024 * 1024;
constexpr int kMaxTopologyFilters = 4;
constexpr int kMaxEndpoints = 8;
constexpr int kMaxMixers = 4;
constexpr int kMaxNoticeWindows = 16;

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

// A kernel-streaming topology filter: a KSCATEGORY_TOPOLOGY interface of a device instance.
struct SimTopologyFilter {
    char instanceId[200];
    char service[32]; // SPDRP_SERVICE of the instance
    char interfacePath[260];
};

// The format the panel chose for one direction of the device; automatic: all zero.
struct SimChosenFormat {
    uint8_t fixed;
    uint8_t wireBits; // 16 or 32 (32 stands for 24)
    uint32_t rate;
};

// One read of a choice another process may be changing, field by field from memory.
SimChosenFormat readChosen(const SimChosenFormat& format);

// The streams of one direction that the device runs now, with the format they opened with.
struct SimStreamActivity {
    volatile LONG running; // open streams of this direction since the last plug
    uint32_t rate;
    uint8_t wireBits;
    uint8_t fixed; // the stream's format was the fixed choice when it opened
};

// An audio endpoint as the endpoint enumerator lists it.
struct SimEndpoint {
    int32_t flow;     // 0 render, 1 capture
    int32_t ofDevice; // the Quenvora-K9's: gone while it is unplugged
    int32_t active;   // DEVICE_STATE_ACTIVE
    wchar_t id[128];
    wchar_t friendlyName[64];
    // {b3f8fa53-0004-438e-9003-51a46e139bfc},2: the host device's identifier.
    wchar_t hostDevice[300];
    int32_t hostDeviceAsBlob;     // that property comes as VT_BLOB, without a terminator
    int32_t hostDeviceUnreadable; // reading that property fails
    int32_t vanishes; // taking it from a list fails, as for one gone since it was counted
};

// A mixer device as mixerGetNumDevs counts it.
struct SimMixerDevice {
    wchar_t interfacePath[160]; // empty: the size query answers 0
    char name[32];
    int32_t ofDevice;              // the Quenvora-K9's line table; else a one-line mixer
    int32_t destinationQueryFails; // mixerGetLineInfoA of destination 1 fails
};

// A window registered for device notices, in whatever process of either bitness.
struct SimNoticeWindow {
    // HWND as a 32-bit number (window handles are the same 32 bits to 32-bit and 64-bit
    // processes); 0: a free slot.
    volatile LONG window;
    DWORD process;
    GUID classGuid; // the interface class the window asked for
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
    int32_t prepareFails;         // waveOutPrepareHeader and waveInPrepareHeader
    int32_t outWriteFails;        // waveOutWrite
    int32_t inQueueFails;         // waveInAddBuffer
    int32_t inStartFails;         // waveInStart
    int32_t clockStalled;         // the device clock stops: no block completes
    int32_t callsHang;            // write, add, reset, stop and close do not return until it is off
    int32_t topologyOpenFails;    // CreateFileA on the topology filter
    int32_t topologyRequestFails; // every property request fails
    DWORD topologyRequestDelayMs; // each property request takes this long (a slow filter)
    // Trelvik reads of a value of this name fail, as for a value the driver cannot read.
    wchar_t unreadableValue[64];
    int32_t trelvikRequestFails; // every Trelvik request fails
    int32_t trelvikStartFails;   // the Trelvik service does not start (no device appears)
    int32_t formatSetsRefused;   // the topology filter refuses every format set; gets answer
};

// The Trelvik kernel driver: its service lives in the real service control manager; whether it
// runs, and so whether its device exists, is the simulated machine's.
struct SimTrelvik {
    int32_t running;
    volatile LONG starts;  // StartService calls that started it
    volatile LONG stops;   // stop controls that stopped it
    volatile LONG reads;   // IOCTL_REGVALUE_READ requests answered
    volatile LONG writes;  // IOCTL_REGVALUE_WRITE requests answered
    volatile LONG refused; // requests refused (a bad record, an address out of reach)
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

    // The device's kernel side: its topology filter (and other devices' before it), the format
    // it keeps per direction (0 playback, 1 record) and the streams it runs.
    int32_t topologyFilterCount;
    SimTopologyFilter topologyFilters[kMaxTopologyFilters];
    SimChosenFormat chosenFormat[2];
    SimStreamActivity streamActivity[2];
    // Counts plugs: a stream opened before an unplug no longer counts once the device is back.
    volatile LONG plugGeneration;
    volatile LONG topologyRequests; // property requests the filter answered or refused
    SimTrelvik trelvik;

    int32_t endpointCount;
    SimEndpoint endpoints[kMaxEndpoints];
    int32_t enumeratorFails; // CoCreateInstance of the endpoint enumerator fails
    int32_t mixerCount;
    SimMixerDevice mixers[kMaxMixers];
    SimNoticeWindow noticeWindows[kMaxNoticeWindows];

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

// Processes of both bitnesses share the machine (a 64-bit host beside a 32-bit panel), so every
// record in it has the same size and offsets in both builds: fixed-size fields only.
static_assert(sizeof(SimWaveDevice) == 552);
static_assert(sizeof(SimDevNode) == 328);
static_assert(sizeof(SimTopologyFilter) == 492);
static_assert(sizeof(SimChosenFormat) == 8);
static_assert(sizeof(SimStreamActivity) == 12);
static_assert(sizeof(SimEndpoint) == 1008);
static_assert(sizeof(SimMixerDevice) == 360);
static_assert(sizeof(SimNoticeWindow) == 24);
static_assert(sizeof(SimVersion) == 40);
static_assert(sizeof(SimFaults) == 184);
static_assert(sizeof(SimTrelvik) == 24);
static_assert(sizeof(SimState) == 4218060);
static_assert(offsetof(SimState, magic) == 0);
static_assert(offsetof(SimState, unplugged) == 4);
static_assert(offsetof(SimState, outDeviceCount) == 8);
static_assert(offsetof(SimState, outDevices) == 12);
static_assert(offsetof(SimState, inDeviceCount) == 4428);
static_assert(offsetof(SimState, inDevices) == 4432);
static_assert(offsetof(SimState, devNodeCount) == 8848);
static_assert(offsetof(SimState, devNodes) == 8852);
static_assert(offsetof(SimState, version) == 11476);
static_assert(offsetof(SimState, faults) == 11516);
static_assert(offsetof(SimState, topologyFilterCount) == 11700);
static_assert(offsetof(SimState, topologyFilters) == 11704);
static_assert(offsetof(SimState, chosenFormat) == 13672);
static_assert(offsetof(SimState, streamActivity) == 13688);
static_assert(offsetof(SimState, plugGeneration) == 13712);
static_assert(offsetof(SimState, topologyRequests) == 13716);
static_assert(offsetof(SimState, trelvik) == 13720);
static_assert(offsetof(SimState, endpointCount) == 13744);
static_assert(offsetof(SimState, endpoints) == 13748);
static_assert(offsetof(SimState, enumeratorFails) == 21812);
static_assert(offsetof(SimState, mixerCount) == 21816);
static_assert(offsetof(SimState, mixers) == 21820);
static_assert(offsetof(SimState, noticeWindows) == 23260);
static_assert(offsetof(SimState, loopbackDelayFrames) == 23644);
static_assert(offsetof(SimState, outOpenCount) == 23648);
static_assert(offsetof(SimState, inOpenCount) == 23652);
static_assert(offsetof(SimState, lastOutFormat) == 23656);
static_assert(offsetof(SimState, lastInFormat) == 23696);
static_assert(offsetof(SimState, outBlocksPlayed) == 23736);
static_assert(offsetof(SimState, inBlocksRecorded) == 23740);
static_assert(offsetof(SimState, underrunFrames) == 23744);
static_assert(offsetof(SimState, inOverrunFrames) == 23748);
static_assert(offsetof(SimState, playedBytes) == 23752);
static_assert(offsetof(SimState, played) == 23756);

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
constexpr char kDeviceService[] = "CaQvK9";
constexpr wchar_t kDefaultRenderEndpoint[] =
    L"{0.0.0.00000000}.{5a1c7e02-4b7d-4f1e-9c1a-18527022a001}";
constexpr wchar_t kDefaultCaptureEndpoint[] =
    L"{0.0.1.00000000}.{5a1c7e02-4b7d-4f1e-9c1a-18527022a002}";
constexpr wchar_t kOtherRenderEndpoint[] =
    L"{0.0.0.00000000}.{0d8c000c-1111-4222-8333-444455556666}";
constexpr wchar_t kDeviceHostText[] = L"{1}.USB\\VID_1852&PID_7022&MI_01\\7&1A2B3C4D&0&0001";
constexpr wchar_t kOtherHostText[] = L"{1}.USB\\VID_0D8C&PID_000C&MI_00\\6&2F3E4D5C&0&0000";
constexpr wchar_t kDefaultMixerPath[] = L"\\\\?\\usb#vid_1852&pid_7022&mi_01#7&1a2b3c4d&0&0001#"
                                        L"{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\topology";
constexpr wchar_t kOtherMixerPath[] = L"\\\\?\\usb#vid_0d8c&pid_000c&mi_00#6&2f3e4d5c&0&0000#"
                                      L"{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\topology";
constexpr char kDefaultTopologyPath[] = "\\\\?\\usb#vid_1852&pid_7022&mi_01#7&1a2b3c4d&0&0001#"
                                        "{dda54a40-1e4c-11d1-a050-405705c10000}\\topology";
// Another sound device's topology filter, listed before ours.
constexpr char kOtherInstanceId[] = "USB\\VID_0D8C&PID_000C&MI_00\\6&2F3E4D5C&0&0000";
constexpr char kOtherService[] = "usbaudio";
constexpr char kOtherTopologyPath[] = "\\\\?\\usb#vid_0d8c&pid_000c&mi_00#6&2f3e4d5c&0&0000#"
                                      "{dda54a40-1e4c-11d1-a050-405705c10000}\\topology";

} // namespace sim
