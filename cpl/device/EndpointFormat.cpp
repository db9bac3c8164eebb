// An endpoint's format values (device format and OEM format) in its registry properties, read
// and written by the Trelvik driver. The driver reads the strings and buffers at 32-bit
// addresses, so everything a batch points to lives in one block below 4 GB.
#include "UsbAudioDevice.h"

#include "LowMemory.h"
#include "TrelvikCycle.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t kRenderKey[] = L"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersio"
                                 L"n\\MMDevices\\Audio\\Render\\";
constexpr wchar_t kCaptureKey[] = L"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersi"
                                  L"on\\MMDevices\\Audio\\Capture\\";
constexpr wchar_t kPropertiesKey[] = L"\\Properties";
constexpr size_t kFlowPrefixChars = 17; // "{0.0.0.00000000}." before the endpoint's key name
constexpr size_t kKeyChars = 260;

// PKEY_AudioEngine_DeviceFormat and PKEY_AudioEngine_OEMFormat.
constexpr wchar_t kDeviceFormatValue[] = L"{f19f064d-082c-4e27-bc73-6882a1bb8e4c},0";
constexpr wchar_t kOemFormatValue[] = L"{e4870e26-3cc5-4cd2-ba46-ca0a9a70ed04},0";

// Where the fields sit in a read buffer: the driver's 12-byte header, then the 8-byte property
// header, then WAVEFORMATEXTENSIBLE.
constexpr size_t kChannelsAt = 22;
constexpr size_t kRateAt = 24;
constexpr size_t kAvgBytesAt = 28;
constexpr size_t kBlockAlignAt = 32;
constexpr size_t kBitsAt = 34;
constexpr size_t kValidBitsAt = 38;

struct RequestBlock {
    wchar_t key[kKeyChars];
    wchar_t names[2][64];
    uint8_t buffers[2][kRegValueReadCapacity];
    RegValueRequest records[2];
};

template <typename T>
T get(const uint8_t* buffer, size_t at) {
    T value;
    std::memcpy(&value, buffer + at, sizeof(T));
    return value;
}

template <typename T>
void put(uint8_t* buffer, size_t at, T value) {
    std::memcpy(buffer + at, &value, sizeof(T));
}

// "\Registry\Machine\...\Render|Capture\<key name>\Properties"; false when the id is shorter
// than its prefix or the key would not fit.
bool buildKey(const wchar_t* endpoint, int flow, wchar_t (&key)[kKeyChars]) {
    if (endpoint == nullptr || wcsnlen(endpoint, kKeyChars) <= kFlowPrefixChars)
        return false;
    const wchar_t* base = flow == kFlowRender ? kRenderKey : kCaptureKey;
    const wchar_t* name = endpoint + kFlowPrefixChars;
    const size_t total = std::wcslen(base) + wcsnlen(name, kKeyChars) + std::wcslen(kPropertiesKey);
    if (total >= kKeyChars)
        return false;
    std::wcscpy(key, base);
    std::wcscat(key, name);
    std::wcscat(key, kPropertiesKey);
    return true;
}

// A request block with the key and both value names, record i reading value i into buffer i.
RequestBlock* prepare(UniqueVirtualMemory& memory, const wchar_t* endpoint, int flow) {
    memory = AllocateLowMemory(sizeof(RequestBlock));
    if (!memory)
        return nullptr;
    auto block = static_cast<RequestBlock*>(memory.get());
    if (!buildKey(endpoint, flow, block->key))
        return nullptr;
    std::wcscpy(block->names[0], kDeviceFormatValue);
    std::wcscpy(block->names[1], kOemFormatValue);
    for (int i = 0; i < 2; ++i) {
        RegValueRequest& r = block->records[i];
        r.size = sizeof(RegValueRequest);
        r.type = REG_BINARY;
        r.length = kRegValueReadCapacity;
        if (!ToAddress32(block->key, &r.keyPath) || !ToAddress32(block->names[i], &r.valueName) ||
            !ToAddress32(block->buffers[i], &r.data))
            return nullptr;
    }
    return block;
}

void applyFormat(uint8_t* buffer, DWORD rate, WORD channels, WORD bits) {
    const WORD blockAlign = static_cast<WORD>(channels * (bits / 8));
    put<WORD>(buffer, kChannelsAt, channels);
    put<DWORD>(buffer, kRateAt, rate);
    put<WORD>(buffer, kBitsAt, bits);
    put<WORD>(buffer, kBlockAlignAt, blockAlign);
    put<DWORD>(buffer, kAvgBytesAt, blockAlign * rate);
    put<WORD>(buffer, kValidBitsAt, bits);
    // The value starts after the driver's header; a write takes it from the buffer's start.
    std::memmove(buffer, buffer + kRegValueReadHeaderBytes, kRegValueWriteBytes);
}

} // namespace

bool CUsbAudioDevice::WriteEndpointFormat(const wchar_t* endpoint, int flow, DWORD rate,
                                          WORD channels, WORD bits) {
    if (!platform_)
        return false;
    UniqueVirtualMemory memory;
    RequestBlock* block = prepare(memory, endpoint, flow);
    if (block == nullptr)
        return false;
    bool oemRead = ReadValuesViaDriver(block->records, *platform_, 2);
    if (!oemRead) {
        if (!ReadValuesViaDriver(block->records, *platform_, 1))
            return false;
        // Without the OEM value both writes store the device format value.
        block->records[1] = block->records[0];
    }
    applyFormat(block->buffers[0], rate, channels, bits);
    block->records[0].length = kRegValueWriteBytes;
    if (oemRead) {
        // The engine's own format runs at 32 bits whatever the device format says.
        applyFormat(block->buffers[1], rate, channels, 32);
    }
    block->records[1].length = kRegValueWriteBytes;
    return WriteValuesViaDriver(block->records, *platform_);
}

bool CUsbAudioDevice::ReadEndpointFormat(const wchar_t* endpoint, int flow, DWORD* rate,
                                         WORD* channels, WORD* bits) {
    if (!platform_ || rate == nullptr || channels == nullptr || bits == nullptr)
        return false;
    UniqueVirtualMemory memory;
    RequestBlock* block = prepare(memory, endpoint, flow);
    if (block == nullptr || !ReadValuesViaDriver(block->records, *platform_, 1))
        return false;
    *rate = get<DWORD>(block->buffers[0], kRateAt);
    *channels = get<WORD>(block->buffers[0], kChannelsAt);
    *bits = get<WORD>(block->buffers[0], kBitsAt);
    return true;
}
