// The simulated device's clock with streams opened and closed from several threads at once, at
// every rate and width the device runs: hosts and the panel do exactly this to it.
#include "ports/WaveEndpoints.h"
#include "sim/SimDeviceState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRates[] = {44100, 48000, 96000, 22050, 8000, 11025, 16000, 32000, 88200};
// The containers the device carries; a 32-bit host width goes out as 24 bits.
constexpr WORD kWidths[] = {16, 24};
constexpr int kThreads = 6;
constexpr int kDevices = 3;
constexpr DWORD kRunMs = 3000;

WAVEFORMATEX pcm(DWORD rate, WORD bits) {
    WAVEFORMATEX f = {};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<WORD>(bits / 8 * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    return f;
}

void CALLBACK countNotice(HDRVR, UINT, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    reinterpret_cast<std::atomic<long>*>(instance)->fetch_add(1);
}

struct Worker {
    unsigned seed = 1;
    std::atomic<long> notices{0};
    long opened = 0;
    std::string failure;

    unsigned next() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
    void fail(const char* what, MMRESULT r) {
        if (failure.empty())
            failure = std::string(what) + " returned " + std::to_string(r);
    }

    // One handle's life: open, queue blocks, run a little, then end it in one of the ways
    // the wave rules allow. Blocks live on this thread's stack until the handle is closed.
    void oneStream() {
        WaveEndpoints& wave = waveEndpoints();
        const bool output = next() % 2 == 0;
        const UINT device = next() % kDevices;
        const WAVEFORMATEX format = pcm(kRates[next() % 9], kWidths[next() % 2]);
        const DWORD_PTR instance = reinterpret_cast<DWORD_PTR>(&notices);
        HANDLE handle = nullptr;
        const MMRESULT opened =
            output ? wave.outOpen(reinterpret_cast<HWAVEOUT*>(&handle), device, &format,
                                  reinterpret_cast<DWORD_PTR>(&countNotice), instance,
                                  CALLBACK_FUNCTION)
                   : wave.inOpen(reinterpret_cast<HWAVEIN*>(&handle), device, &format,
                                 reinterpret_cast<DWORD_PTR>(&countNotice), instance,
                                 CALLBACK_FUNCTION);
        if (opened == MMSYSERR_ALLOCATED)
            return; // another thread holds that device and direction
        if (opened != MMSYSERR_NOERROR)
            return fail("open", opened);
        ++this->opened;
        const DWORD bytes = format.nBlockAlign * (format.nSamplesPerSec / 1000) * (1 + next() % 4);
        std::vector<std::vector<char>> data(3, std::vector<char>(bytes, 1));
        WAVEHDR headers[3] = {};
        auto out = reinterpret_cast<HWAVEOUT>(handle);
        auto in = reinterpret_cast<HWAVEIN>(handle);
        for (int k = 0; k < 3; ++k) {
            headers[k].lpData = data[k].data();
            headers[k].dwBufferLength = bytes;
            MMRESULT r = output ? wave.outPrepareHeader(out, &headers[k], sizeof(WAVEHDR))
                                : wave.inPrepareHeader(in, &headers[k], sizeof(WAVEHDR));
            if (r == MMSYSERR_NOERROR)
                r = output ? wave.outWrite(out, &headers[k], sizeof(WAVEHDR))
                           : wave.inAddBuffer(in, &headers[k], sizeof(WAVEHDR));
            if (r != MMSYSERR_NOERROR)
                fail("queueing", r);
        }
        if (!output)
            wave.inStart(in);
        Sleep(next() % 4);
        if (!output && next() % 2 == 0)
            wave.inStop(in);
        const MMRESULT reset = output ? wave.outReset(out) : wave.inReset(in);
        if (reset != MMSYSERR_NOERROR)
            fail("reset", reset);
        for (WAVEHDR& h : headers) {
            if (h.dwFlags & WHDR_INQUEUE)
                fail("a header still queued after reset", 0);
            if (output)
                wave.outUnprepareHeader(out, &h, sizeof(WAVEHDR));
            else
                wave.inUnprepareHeader(in, &h, sizeof(WAVEHDR));
        }
        const MMRESULT closed = output ? wave.outClose(out) : wave.inClose(in);
        if (closed != MMSYSERR_NOERROR)
            fail("close", closed);
    }

    static DWORD WINAPI main(void* param) {
        auto* self = static_cast<Worker*>(param);
        const DWORD begin = GetTickCount();
        while (GetTickCount() - begin < kRunMs && self->failure.empty())
            self->oneStream();
        return 0;
    }
};

} // namespace

TEST(SimClockStress, StreamsOpenedAndClosedFromManyThreadsAtEveryRate) {
    sim::resetToDefaults();
    sim::state()->outDeviceCount = kDevices;
    sim::state()->inDeviceCount = kDevices;
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<HANDLE> threads;
    for (int t = 0; t < kThreads; ++t) {
        workers.push_back(std::make_unique<Worker>());
        workers.back()->seed = 7919u * (t + 1);
        HANDLE thread = CreateThread(nullptr, 0, &Worker::main, workers.back().get(), 0, nullptr);
        ASSERT_NE(thread, nullptr);
        threads.push_back(thread);
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, kRunMs + 30000), WAIT_OBJECT_0) << "a thread hung";
        CloseHandle(thread);
    }
    long opened = 0;
    for (const auto& w : workers) {
        EXPECT_EQ(w->failure, "");
        opened += w->opened;
    }
    EXPECT_GT(opened, kThreads * 20) << "the threads met each other often enough";

    // Every handle was given back: each device opens again in both directions.
    WaveEndpoints& wave = waveEndpoints();
    const WAVEFORMATEX format = pcm(48000, 16);
    for (UINT device = 0; device < kDevices; ++device) {
        HWAVEOUT out = nullptr;
        HWAVEIN in = nullptr;
        EXPECT_EQ(wave.outOpen(&out, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        EXPECT_EQ(wave.inOpen(&in, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        if (out != nullptr)
            wave.outClose(out);
        if (in != nullptr)
            wave.inClose(in);
    }
    sim::resetToDefaults();
}
