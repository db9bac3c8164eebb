// The per-width sample transfers between host buffer halves and device blocks.
#include "asio/EndpointRing.h"
#include "asio/SampleTransfer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kUntouched = 0xEE;

uint32_t loadLe(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

void storeLe(uint8_t* p, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A host sample that uses every byte of its width and differs per frame and side.
uint32_t hostSample(int width, int frame, int side) {
    const uint32_t v = 0x00A1B2C3u + static_cast<uint32_t>(frame) * 0x010203u + side * 0x8000u;
    return width == 32 ? v << 8 | 0x5A : v & ((1u << width) - 1);
}

} // namespace

TEST(SampleTransfer, Right16BitChannelLandsOnOddHalfwordsOnly) {
    constexpr int kFrames = 256;
    std::vector<uint8_t> block(kRingBlockBytes, kUntouched);
    std::vector<uint8_t> half(kFrames * 2);
    for (int j = 0; j < kFrames; ++j)
        storeLe(&half[j * 2], 2, hostSample(16, j, 1));

    output16(half.data(), block.data(), kFrames, 1);

    for (int j = 0; j < kFrames; ++j) {
        EXPECT_EQ(loadLe(&block[2 + j * 4], 2), hostSample(16, j, 1)) << "frame " << j;
        EXPECT_EQ(block[j * 4], kUntouched);
        EXPECT_EQ(block[j * 4 + 1], kUntouched);
    }
    EXPECT_EQ(block[1024], kUntouched) << "last right sample ends at byte 1023";
}

TEST(SampleTransfer, DeviceKeepsTheUpperThreeBytesOf32BitSamples) {
    const uint8_t in[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    uint8_t host[8] = {};
    input32(in, host, 1, 0);
    input32(in, host + 4, 1, 1);
    EXPECT_EQ(loadLe(host, 4), 0x33221100u);
    EXPECT_EQ(loadLe(host + 4, 4), 0x66554400u);

    const uint8_t out[4] = {0x99, 0x11, 0x22, 0x33};
    uint8_t block[6];
    std::memset(block, kUntouched, sizeof block);
    output32(out, block, 1, 1);
    const uint8_t expected[6] = {kUntouched, kUntouched, kUntouched, 0x11, 0x22, 0x33};
    EXPECT_EQ(std::memcmp(block, expected, sizeof block), 0) << "the low byte is dropped";
}

// Both channels through one block and back, as the engine moves them, at every width.
class SampleTransferRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(SampleTransferRoundTrip, BothChannelsComeBackIntactAndApart) {
    const int width = GetParam();
    const WidthFormat* format = widthFormat(width);
    ASSERT_NE(format, nullptr);
    const int bytes = format->hostSampleBytes();
    constexpr int kFrames = 6144; // the largest buffer fills a block exactly at width 32
    std::vector<uint8_t> block(kRingBlockBytes, kUntouched);
    std::vector<uint8_t> halves[2];
    for (int side = 0; side < 2; ++side) {
        halves[side].resize(kFrames * bytes);
        for (int j = 0; j < kFrames; ++j)
            storeLe(&halves[side][j * bytes], bytes, hostSample(width, j, side));
        format->output(halves[side].data(), block.data(), kFrames, side);
    }
    const size_t used = static_cast<size_t>(kFrames) * format->blockFrameBytes();
    for (size_t i = used; i < block.size(); ++i)
        ASSERT_EQ(block[i], kUntouched) << "written past the frames at " << i;

    for (int side = 0; side < 2; ++side) {
        std::vector<uint8_t> back(kFrames * bytes + 4, kUntouched);
        format->input(block.data(), back.data(), kFrames, side);
        for (int j = 0; j < kFrames; ++j) {
            const uint32_t sent = hostSample(width, j, side);
            const uint32_t expected = width == 32 ? sent & 0xFFFFFF00u : sent;
            ASSERT_EQ(loadLe(&back[j * bytes], bytes), expected)
                << "side " << side << " frame " << j;
        }
        EXPECT_EQ(back[kFrames * bytes], kUntouched) << "written past the half";
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SampleTransferRoundTrip, ::testing::Values(16, 24, 32));
