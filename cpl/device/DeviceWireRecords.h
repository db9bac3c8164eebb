// The records the panel exchanges with the device's kernel drivers, byte for byte as they cross
// DeviceIoControl, and the request codes that carry them. All fields are little-endian.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The USB audio driver's topology filter: kernel-streaming property requests.
constexpr DWORD kIoctlKsProperty = 0x002F0003; // FILE_DEVICE_KS, function 0, METHOD_NEITHER
constexpr uint32_t kKsPropertyTypeGet = 1;
constexpr uint32_t kKsPropertyTypeSet = 2;
constexpr uint32_t kDevPropAudioFormat = 201;  // DEVPROP_AUDIO_FORMAT, get and set
constexpr uint32_t kDevPropStreamStatus = 202; // DEVPROP_STREAM_STATUS, get only
constexpr DWORD kPropertyValueBytes = 16;      // every answer carries at least this much

// DevicePropertySet {7A527022-C94D-46A7-A77B-4965D2F90ECF}
constexpr GUID kDevicePropertySet = {
    0x7A527022, 0xC94D, 0x46A7, {0xA7, 0x7B, 0x49, 0x65, 0xD2, 0xF9, 0x0E, 0xCF}};
// KSCATEGORY_TOPOLOGY {DDA54A40-1E4C-11D1-A050-405705C10000}
constexpr GUID kKsCategoryTopology = {
    0xDDA54A40, 0x1E4C, 0x11D1, {0xA0, 0x50, 0x40, 0x57, 0x05, 0xC1, 0x00, 0x00}};

// The Trelvik driver: registry values of the audio endpoints, one record per call.
constexpr char kTrelvikDevicePath[] = "\\\\.\\DTrelvik";
constexpr DWORD kIoctlRegValueWrite = 0x9C402540; // device type 0x9C40, function 0x950, buffered
constexpr DWORD kIoctlRegValueRead = 0x9C402544;  // function 0x951
constexpr uint32_t kRegValueReadCapacity = 260;
constexpr uint32_t kRegValueWriteBytes = 48;
constexpr uint32_t kRegValueReadHeaderBytes = 12; // what a read puts before the value

// 24-bit audio travels as 32 in the bits fields of both records.
constexpr uint8_t kWireBits24 = 32;

// The input of a property request (KSPROPERTY).
struct KsPropertyHeader {
    GUID set;
    uint32_t id;
    uint32_t flags;
};

// DEVPROP_AUDIO_FORMAT's value. Automatic means bits and rate 0.
struct DeviceFormatRecord {
    uint16_t size; // 16
    uint8_t playbackFixed;
    uint8_t recordFixed;
    uint8_t playbackBits;
    uint8_t recordBits;
    uint16_t reserved; // sent as zero
    uint32_t playbackRate;
    uint32_t recordRate;
};

// DEVPROP_STREAM_STATUS's value: what the device runs now.
struct StreamStatusRecord {
    uint16_t unused;
    uint8_t playbackActive;
    uint8_t recordActive;
    uint8_t playbackFixed;
    uint8_t recordFixed;
    uint8_t playbackBits;
    uint8_t recordBits;
    uint32_t playbackRate;
    uint32_t recordRate;
};

// One registry value read or written by the Trelvik driver. The three addresses are 32-bit
// pointers into the calling process: whatever they point to must lie below 4 GB.
struct RegValueRequest {
    uint16_t size; // 32
    uint16_t reserved;
    uint32_t keyPath;   // UTF-16, "\Registry\Machine\..."
    uint32_t valueName; // UTF-16
    uint32_t type;      // REG_BINARY
    uint32_t data;      // the data buffer
    uint32_t length;    // read: capacity; write: bytes to store
    uint32_t reserved2[2];
};

// The ASIO driver's state as the ASIO page shows it, taken from the shared block.
struct AsioStateRecord {
    bool driverLoaded;
    bool streamRunning;
    uint32_t outputChannelsInUse;
    uint32_t inputChannelsInUse;
    uint32_t bufferFrames;
    uint32_t sampleRate;
    uint32_t sampleBits;
};

static_assert(sizeof(KsPropertyHeader) == 24);
static_assert(offsetof(KsPropertyHeader, id) == 16);
static_assert(offsetof(KsPropertyHeader, flags) == 20);

static_assert(sizeof(DeviceFormatRecord) == 16);
static_assert(offsetof(DeviceFormatRecord, playbackFixed) == 2);
static_assert(offsetof(DeviceFormatRecord, recordFixed) == 3);
static_assert(offsetof(DeviceFormatRecord, playbackBits) == 4);
static_assert(offsetof(DeviceFormatRecord, recordBits) == 5);
static_assert(offsetof(DeviceFormatRecord, reserved) == 6);
static_assert(offsetof(DeviceFormatRecord, playbackRate) == 8);
static_assert(offsetof(DeviceFormatRecord, recordRate) == 12);

static_assert(sizeof(StreamStatusRecord) == 16);
static_assert(offsetof(StreamStatusRecord, playbackActive) == 2);
static_assert(offsetof(StreamStatusRecord, recordActive) == 3);
static_assert(offsetof(StreamStatusRecord, playbackFixed) == 4);
static_assert(offsetof(StreamStatusRecord, recordFixed) == 5);
static_assert(offsetof(StreamStatusRecord, playbackBits) == 6);
static_assert(offsetof(StreamStatusRecord, recordBits) == 7);
static_assert(offsetof(StreamStatusRecord, playbackRate) == 8);
static_assert(offsetof(StreamStatusRecord, recordRate) == 12);

static_assert(sizeof(RegValueRequest) == 32);
static_assert(offsetof(RegValueRequest, keyPath) == 4);
static_assert(offsetof(RegValueRequest, valueName) == 8);
static_assert(offsetof(RegValueRequest, type) == 12);
static_assert(offsetof(RegValueRequest, data) == 16);
static_assert(offsetof(RegValueRequest, length) == 20);
static_assert(offsetof(RegValueRequest, reserved2) == 24);
