// The ring of eight audio blocks each wave endpoint owns in named memory.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>

constexpr int kRingBlocks = 8;
constexpr DWORD kRingBlockBytes = 0xC000; // 6144 frames of 32-bit stereo
constexpr DWORD kRingDataBytes = kRingBlocks * kRingBlockBytes;
constexpr DWORD kRingBytes = 0x6000C;
constexpr int kEndpointSlots = 2;
constexpr int kHeadersPerSlot = 8;

struct EndpointRing {
    volatile LONG readIndex;   // outputs: next block back from the device; inputs: next to host
    volatile LONG writeIndex;  // outputs: next block to fill; inputs: next block from the device
    volatile LONG queuedCount; // interlocked only
    uint8_t blocks[kRingBlocks][kRingBlockBytes];
};

// A 32-bit and a 64-bit driver meet in the same rings (one host at a time holds the device,
// whichever its bitness): the same layout in both builds.
static_assert(sizeof(EndpointRing) == kRingBytes);
static_assert(offsetof(EndpointRing, readIndex) == 0x00);
static_assert(offsetof(EndpointRing, writeIndex) == 0x04);
static_assert(offsetof(EndpointRing, queuedCount) == 0x08);
static_assert(offsetof(EndpointRing, blocks) == 0x0C);
