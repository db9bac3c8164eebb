// The sample position and the time of the last buffer switch, written by the streaming thread
// and read by host threads. The record keeps two copies and a sequence count that says which one
// is being written: a reader takes the other, so it gets both values from the same switch
// without the writer ever waiting or taking a lock, and without waiting for a writer that was
// pre-empted in the middle of its update (a host thread of higher priority on one processor
// would otherwise spin for ever).
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
        write(value, [](int) {});
    }

    // `midway(copy)` runs in the middle of writing each copy: where a writer may be pre-empted.
    template <typename Midway>
    void write(const Snapshot& value, Midway midway) {
        for (int copy = 0; copy < 2; ++copy) {
            // Odd: copy 0 is being written, readers take copy 1; even: the other way round.
            sequence_.fetch_add(1, std::memory_order_acq_rel);
            Copy& c = copies_[copy];
            c.samples.store(value.samples, std::memory_order_relaxed);
            midway(copy);
            c.timeHi.store(value.timeHi, std::memory_order_relaxed);
            c.timeLo.store(value.timeLo, std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_release);
        }
    }

    // Retries only while the writer moves on during the read, which it does once per buffer
    // switch; after a few tries the copy read last is taken.
    Snapshot read() const {
        Snapshot v;
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            const unsigned before = sequence_.load(std::memory_order_acquire);
            const Copy& c = copies_[(before & 1) != 0 ? 1 : 0];
            v = {c.samples.load(std::memory_order_relaxed),
                 c.timeHi.load(std::memory_order_relaxed),
                 c.timeLo.load(std::memory_order_relaxed)};
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before)
                break;
        }
        return v;
    }

private:
    static constexpr int kReadAttempts = 64;

    struct Copy {
        std::atomic<double> samples{0};
        std::atomic<uint32_t> timeHi{0};
        std::atomic<uint32_t> timeLo{0};
    };

    std::atomic<unsigned> sequence_{0};
    Copy copies_[2];
};
