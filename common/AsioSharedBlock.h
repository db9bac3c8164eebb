// The record the ASIO driver and the control panel share in named memory. Both sides map it
// with the same open-or-create rule; its layout is fixed byte for byte, the same for the 32-bit
// panel and a driver of either bitness (fixed-size fields only).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char kAsioSharedBlockName[] = "Calmora Quenvora-K9 USB Audio ASIO CPL MMOBJ";
constexpr uint32_t kAsioSharedBlockMagic = 0x60720786;
constexpr int kEndpointNameBytes = 128;
constexpr int kEndpointNameSlots = 4;

struct AsioSharedBlock {
    uint32_t magic;
    int32_t driverLoaded;
    int32_t streamRunning;
    int32_t sampleRate;
    int32_t sampleBits;
    int32_t minBufferFrames;
    int32_t maxBufferFrames;
    int32_t preferredFrames;
    int32_t granularityFrames;
    int32_t bufferFrames;
    int32_t outputChannelsInUse;
    int32_t inputChannelsInUse;
    int32_t reserved[2];
    int32_t outEndpointCount;
    char outEndpointNames[kEndpointNameSlots][kEndpointNameBytes];
    int32_t inEndpointCount;
    char inEndpointNames[kEndpointNameSlots][kEndpointNameBytes];
    int32_t startRate;
    int32_t requestedBits;
    int32_t requestedFrames;
    int32_t useRequestedFrames;
    int32_t showPanelRequest;
    int32_t resetRequest;
};

static_assert(sizeof(AsioSharedBlock) == 0x458);
static_assert(offsetof(AsioSharedBlock, driverLoaded) == 0x004);
static_assert(offsetof(AsioSharedBlock, streamRunning) == 0x008);
static_assert(offsetof(AsioSharedBlock, sampleRate) == 0x00C);
static_assert(offsetof(AsioSharedBlock, sampleBits) == 0x010);
static_assert(offsetof(AsioSharedBlock, minBufferFrames) == 0x014);
static_assert(offsetof(AsioSharedBlock, maxBufferFrames) == 0x018);
static_assert(offsetof(AsioSharedBlock, preferredFrames) == 0x01C);
static_assert(offsetof(AsioSharedBlock, granularityFrames) == 0x020);
static_assert(offsetof(AsioSharedBlock, bufferFrames) == 0x024);
static_assert(offsetof(AsioSharedBlock, outputChannelsInUse) == 0x028);
static_assert(offsetof(AsioSharedBlock, inputChannelsInUse) == 0x02C);
static_assert(offsetof(AsioSharedBlock, reserved) == 0x030);
static_assert(offsetof(AsioSharedBlock, outEndpointCount) == 0x038);
static_assert(offsetof(AsioSharedBlock, outEndpointNames) == 0x03C);
static_assert(offsetof(AsioSharedBlock, inEndpointCount) == 0x23C);
static_assert(offsetof(AsioSharedBlock, inEndpointNames) == 0x240);
static_assert(offsetof(AsioSharedBlock, startRate) == 0x440);
static_assert(offsetof(AsioSharedBlock, requestedBits) == 0x444);
static_assert(offsetof(AsioSharedBlock, requestedFrames) == 0x448);
static_assert(offsetof(AsioSharedBlock, useRequestedFrames) == 0x44C);
static_assert(offsetof(AsioSharedBlock, showPanelRequest) == 0x450);
static_assert(offsetof(AsioSharedBlock, resetRequest) == 0x454);
