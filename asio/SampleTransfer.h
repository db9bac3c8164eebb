// Moving one channel between a device block (interleaved stereo) and one half of a host
// channel buffer, per ASIO sample width.
//
// A block carries 16-bit samples (4 bytes a frame) for width 16 and packed 24-bit samples
// (6 bytes a frame, least significant byte first) for widths 24 and 32; the left channel comes
// first in each frame. The host's samples are 16-bit, packed 24-bit or 32-bit little-endian; at
// width 32 the device's 24 bits are the upper three bytes of the host's sample.
#pragma once

#include <cstdint>

// Copies `frames` samples of channel `side` (0 left, 1 right) from a recorded block into the
// host's buffer half.
using InputTransfer = void (*)(const uint8_t* block, uint8_t* half, int frames, int side);
// Copies `frames` samples from the host's buffer half into channel `side` of a block to play.
using OutputTransfer = void (*)(const uint8_t* half, uint8_t* block, int frames, int side);

void input16(const uint8_t* block, uint8_t* half, int frames, int side);
void input24(const uint8_t* block, uint8_t* half, int frames, int side);
void input32(const uint8_t* block, uint8_t* half, int frames, int side);
void output16(const uint8_t* half, uint8_t* block, int frames, int side);
void output24(const uint8_t* half, uint8_t* block, int frames, int side);
void output32(const uint8_t* half, uint8_t* block, int frames, int side);

// How the device carries one ASIO sample width.
struct WidthFormat {
    int width;         // bits of a host sample
    int containerBits; // bits of a device sample
    InputTransfer input;
    OutputTransfer output;

    int hostSampleBytes() const { return width / 8; }
    int blockFrameBytes() const { return containerBits / 8 * 2; }
};

// The format of a width, or null for a width the device cannot carry.
const WidthFormat* widthFormat(int width);
