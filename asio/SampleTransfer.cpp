#include "SampleTransfer.h"

#include <cstring>

namespace {

constexpr int kFrameBytes16 = 4;
constexpr int kFrameBytes24 = 6;

// Little-endian loads and stores that do not care about alignment; the compiler turns them
// into single moves.
inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, sizeof v);
}
inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, sizeof v);
}

constexpr WidthFormat kWidthFormats[] = {
    {16, 16, input16, output16},
    {24, 24, input24, output24},
    {32, 24, input32, output32},
};

} // namespace

void input16(const uint8_t* block, uint8_t* half, int frames, int side) {
    const uint8_t* src = block + side * 2;
    for (int j = 0; j < frames; ++j)
        store16(half + j * 2, load16(src + j * kFrameBytes16));
}

void input24(const uint8_t* block, uint8_t* half, int frames, int side) {
    const uint8_t* src = block + side * 3;
    for (int j = 0; j < frames; ++j) {
        const uint8_t* s = src + j * kFrameBytes24;
        uint8_t* d = half + j * 3;
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

void input32(const uint8_t* block, uint8_t* half, int frames, int side) {
    const uint8_t* src = block + side * 3;
    for (int j = 0; j < frames; ++j) {
        const uint8_t* s = src + j * kFrameBytes24;
        const uint32_t sample = uint32_t(s[0]) << 8 | uint32_t(s[1]) << 16 | uint32_t(s[2]) << 24;
        store32(half + j * 4, sample);
    }
}

void output16(const uint8_t* half, uint8_t* block, int frames, int side) {
    uint8_t* dst = block + side * 2;
    for (int j = 0; j < frames; ++j)
        store16(dst + j * kFrameBytes16, load16(half + j * 2));
}

void output24(const uint8_t* half, uint8_t* block, int frames, int side) {
    uint8_t* dst = block + side * 3;
    for (int j = 0; j < frames; ++j) {
        const uint8_t* s = half + j * 3;
        uint8_t* d = dst + j * kFrameBytes24;
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

void output32(const uint8_t* half, uint8_t* block, int frames, int side) {
    uint8_t* dst = block + side * 3;
    for (int j = 0; j < frames; ++j) {
        // The device takes 24 bits: the least significant byte goes.
        const uint32_t sample = load32(half + j * 4);
        uint8_t* d = dst + j * kFrameBytes24;
        d[0] = uint8_t(sample >> 8);
        d[1] = uint8_t(sample >> 16);
        d[2] = uint8_t(sample >> 24);
    }
}

const WidthFormat* widthFormat(int width) {
    for (const WidthFormat& format : kWidthFormats)
        if (format.width == width)
            return &format;
    return nullptr;
}
