#include "LoopbackSignal.h"

#include <cstring>

namespace asiohost {

namespace {

struct LayoutRow {
    SampleLayout layout;
    int bytes;
    uint32_t carried;
};

// The device keeps 16 bits in 16-bit mode and 24 bits otherwise (a 32-bit sample loses its
// lowest byte on the way out and comes back with it zeroed).
constexpr LayoutRow kLayouts[] = {
    {SampleLayout::Int16, 2, 0xFFFF0000u},
    {SampleLayout::Int24, 3, 0xFFFFFF00u},
    {SampleLayout::Int32, 4, 0xFFFFFF00u},
};

const LayoutRow& row(SampleLayout layout) {
    for (const LayoutRow& r : kLayouts)
        if (r.layout == layout)
            return r;
    return kLayouts[0];
}

// A well-mixed hash of the frame number: its bytes are the check bits.
uint32_t mix(uint32_t frameNumber) {
    uint32_t h = (frameNumber + 0x6B43A9B5u) * 0x9E3779B1u;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return h;
}

} // namespace

int bytesPerSample(SampleLayout layout) {
    return row(layout).bytes;
}

uint32_t carriedBits(SampleLayout layout) {
    return row(layout).carried;
}

FrameWords encodeFrame(uint32_t frameNumber) {
    const uint32_t n = frameNumber & kFrameNumberMask;
    const uint32_t h = mix(n);
    const uint32_t low16 = n & 0xFFFF;
    const uint32_t high8 = n >> 16;
    // Frame 0 must not be silence: the right word's check byte is never 0 for it.
    uint32_t check = h >> 24;
    if (n == 0 && check == 0)
        check = 0xA5;
    FrameWords w;
    w.left = (low16 << 16) | (((h >> 8) & 0xFF) << 8);
    w.right = (((high8 << 8) | check) << 16) | ((h & 0xFF) << 8);
    return w;
}

DecodedFrame decodeFrame(FrameWords words, uint32_t carried) {
    const FrameWords seen{words.left & carried, words.right & carried};
    if (seen.left == 0 && seen.right == 0)
        return {FrameKind::Silent, 0};
    auto matches = [carried](uint32_t left, uint32_t right, uint32_t& number) {
        number = ((right >> 24) << 16) | (left >> 16);
        const FrameWords expected = encodeFrame(number);
        return (expected.left & carried) == left && (expected.right & carried) == right;
    };
    uint32_t number = 0;
    if (matches(seen.left, seen.right, number))
        return {FrameKind::Valid, number};
    if (matches(seen.right, seen.left, number))
        return {FrameKind::Swapped, number};
    return {FrameKind::Corrupt, 0};
}

uint32_t readSampleWord(SampleLayout layout, const void* buffer, int j) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    switch (layout) {
    case SampleLayout::Int16: {
        uint16_t v;
        std::memcpy(&v, bytes + j * 2, 2);
        return uint32_t{v} << 16;
    }
    case SampleLayout::Int24: {
        const uint8_t* p = bytes + j * 3;
        return (uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 24);
    }
    case SampleLayout::Int32: {
        uint32_t v;
        std::memcpy(&v, bytes + j * 4, 4);
        return v;
    }
    }
    return 0;
}

void writeSampleWord(SampleLayout layout, void* buffer, int j, uint32_t word) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    switch (layout) {
    case SampleLayout::Int16: {
        const uint16_t v = static_cast<uint16_t>(word >> 16);
        std::memcpy(bytes + j * 2, &v, 2);
        return;
    }
    case SampleLayout::Int24: {
        uint8_t* p = bytes + j * 3;
        p[0] = static_cast<uint8_t>(word >> 8);
        p[1] = static_cast<uint8_t>(word >> 16);
        p[2] = static_cast<uint8_t>(word >> 24);
        return;
    }
    case SampleLayout::Int32:
        std::memcpy(bytes + j * 4, &word, 4);
        return;
    }
}

void writeSignal(SampleLayout leftLayout, void* left, SampleLayout rightLayout, void* right,
                 uint64_t firstFrame, int frames) {
    for (int j = 0; j < frames; ++j) {
        const FrameWords w = encodeFrame(static_cast<uint32_t>(firstFrame + j));
        writeSampleWord(leftLayout, left, j, w.left);
        writeSampleWord(rightLayout, right, j, w.right);
    }
}

} // namespace asiohost
