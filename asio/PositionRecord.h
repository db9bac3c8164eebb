// The sample position and the time of the last buffer switch, written by the streaming thread
// and read by host threads. A sequence count lets a reader take both from the same switch
// without the writer ever waiting or taking a lock.
#pragma once

#include <atomic>
#include <cstdint>

// Hosts take 64-bit counts as a high and a low 32-bit word.
inline void splitIntoWords(double value, unsigned long& hi, unsigned long& lo) {
    constexpr double kTwoTo32 = 4294967296.0;
    if (value >= kTwoTo32) {
        const double high = static_cast<double>(static_cast<uint64_t>(value / kTwoTo32));
        hi = static_cast<unsigned long>(high);
        lo = static_cast<unsigned long>(value - high * kTwoTo32);
    } else {
        hi = 0;
        lo = static_cast<unsigned long>(value);
    }
}

class PositionRecord {
public:
    struct Snapshot {
        double samples = 0;
        uint32_t timeHi = 0;
        uint32_t timeLo = 0;
    };

    // Single writer: the streaming thread, or a host thread while no stream runs.
    void write(const Snapshot& value) {
        unsigned s = sequence_.load(std::memory_order_relaxed);
        sequence_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        samples_.store(value.samples, std::memory_order_relaxed);
        timeHi_.store(value.timeHi, std::memory_order_relaxed);
        timeLo_.store(value.timeLo, std::memory_order_relaxed);
        sequence_.store(s + 2, std::memory_order_release);
    }

    Snapshot read() const {
        for (;;) {
            unsigned before = sequence_.load(std::memory_order_acquire);
            Snapshot v{samples_.load(std::memory_order_relaxed),
                       timeHi_.load(std::memory_order_relaxed),
                       timeLo_.load(std::memory_order_relaxed)};
            std::atomic_thread_fence(std::memory_order_acquire);
            if ((before & 1) == 0 && sequence_.load(std::memory_order_relaxed) == before)
                return v;
        }
    }

private:
    std::atomic<unsigned> sequence_{0};
    std::atomic<double> samples_{0};
    std::atomic<uint32_t> timeHi_{0};
    std::atomic<uint32_t> timeLo_{0};
};
