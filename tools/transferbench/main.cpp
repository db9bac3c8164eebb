// Prints what the sample transfers cost per frame, for each width and direction, beside a
// plain memcpy of the same bytes. Run it by hand; nothing here passes or fails.
#include "asio/EndpointRing.h"
#include "asio/SampleTransfer.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kDefaultFrames = 256;
constexpr int kMaxFrames = 6144;
// Enough repetitions that the timer's resolution does not show.
constexpr long long kFramesPerMeasure = 64LL * 1024 * 1024;

double nowSeconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Keeps the copies from being optimised away.
volatile uint8_t sink;

template <typename Copy>
double nanosecondsPerFrame(int frames, Copy copy) {
    const long long rounds = kFramesPerMeasure / frames;
    copy(); // warm the caches
    const double begin = nowSeconds();
    for (long long r = 0; r < rounds; ++r)
        copy();
    const double elapsed = nowSeconds() - begin;
    return elapsed * 1e9 / static_cast<double>(rounds * frames);
}

} // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : kDefaultFrames;
    if (frames < 1 || frames > kMaxFrames) {
        std::fprintf(stderr, "usage: QvK9TransferBench [frames 1..%d]\n", kMaxFrames);
        return 2;
    }
    std::vector<uint8_t> block(kRingBlockBytes);
    std::vector<uint8_t> half(static_cast<size_t>(kMaxFrames) * 4);
    std::vector<uint8_t> scratch(half.size());
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < half.size(); ++i)
        half[i] = static_cast<uint8_t>(i * 13);

    std::printf("one channel of %d frames; ns per frame\n", frames);
    std::printf("%-6s %-9s %10s %10s %8s\n", "width", "direction", "transfer", "memcpy", "ratio");
    for (int width : {16, 24, 32}) {
        const WidthFormat* format = widthFormat(width);
        const size_t bytes = static_cast<size_t>(frames) * format->hostSampleBytes();
        const double copyNs = nanosecondsPerFrame(frames, [&] {
            std::memcpy(scratch.data(), half.data(), bytes);
            sink = scratch[bytes - 1];
        });
        const double inNs = nanosecondsPerFrame(frames, [&] {
            format->input(block.data(), scratch.data(), frames, 1);
            sink = scratch[bytes - 1];
        });
        const double outNs = nanosecondsPerFrame(frames, [&] {
            format->output(half.data(), block.data(), frames, 1);
            sink = block[0];
        });
        std::printf("%-6d %-9s %10.3f %10.3f %8.2f\n", width, "input", inNs, copyNs, inNs / copyNs);
        std::printf("%-6d %-9s %10.3f %10.3f %8.2f\n", width, "output", outNs, copyNs,
                    outNs / copyNs);
    }
    return 0;
}
