// The probe's test signal. Every output frame carries its own frame number, so a frame that
// comes back on the inputs says exactly which output frame it is.
//
// The code lives in the top 16 bits of each sample, which every width the device carries keeps
// (16 bits; 24 bits; 32 bits cut to 24 on the way out): the left channel holds the low 16 bits
// of a 24-bit frame number, the right channel its high 8 bits and an 8-bit check. Where the
// samples are wider than 16 bits, the byte below the code carries 16 more check bits. An
// all-zero frame is silence, and no frame number encodes to silence.
#pragma once

#include <cstdint>

namespace asiohost {

// The host-buffer sample layouts the probe can drive (least significant byte first).
enum class SampleLayout { Int16, Int24, Int32 };

int bytesPerSample(SampleLayout layout);
// Bits of a left-aligned 32-bit sample word that survive the round trip in this layout.
uint32_t carriedBits(SampleLayout layout);

constexpr int kFrameNumberBits = 24;
constexpr uint32_t kFrameNumberMask = (1u << kFrameNumberBits) - 1;

// One frame of the signal as left-aligned 32-bit words (the sample's top bit is bit 31).
struct FrameWords {
    uint32_t left;
    uint32_t right;
};

FrameWords encodeFrame(uint32_t frameNumber);

enum class FrameKind {
    Silent,  // both channels zero
    Valid,   // a frame of the signal
    Swapped, // a frame of the signal with left and right exchanged
    Corrupt, // anything else
};

struct DecodedFrame {
    FrameKind kind;
    uint32_t number; // 24-bit frame number, for Valid and Swapped
};

// `carried` masks the bits that the path keeps (carriedBits of the narrower channel).
DecodedFrame decodeFrame(FrameWords words, uint32_t carried);

// Sample j of a channel buffer, as a left-aligned word, and back.
uint32_t readSampleWord(SampleLayout layout, const void* buffer, int j);
void writeSampleWord(SampleLayout layout, void* buffer, int j, uint32_t word);

// Fills `frames` frames of a stereo pair with the signal, starting at frame `firstFrame`.
void writeSignal(SampleLayout leftLayout, void* left, SampleLayout rightLayout, void* right,
                 uint64_t firstFrame, int frames);

} // namespace asiohost
