// Opening and closing the device's endpoints, the wave completions, and the streaming thread
// that exchanges one host buffer half per block and calls the host's buffer switch.
#include "StreamEngine.h"

#include "AsioSample.h"
#include "ModuleReference.h"
#include "SampleTransfer.h"
#include "ports/WaveEndpoints.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

// {00000001-0000-0010-8000-00AA00389B71}
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr int kPrimedBlocks = 4;
// Paced by the output, a switch runs whenever fewer blocks than this are queued.
constexpr LONG kOutputBlocksAhead = kPrimedBlocks;
// Each switch first sends the half it is about to hand the host: that half carries what the
// host wrote into it two switches before.
constexpr int kSwitchDelayBuffers = 2;
constexpr DWORD kThreadEndWaitMs = 1000;
constexpr DWORD kReadyPollMs = 1;
constexpr DWORD kCompletionDrainMs = 1000;
// How long stop waits for the device to give its endpoints back.
constexpr DWORD kClosingWaitMs = 2000;
constexpr double kTwoTo32 = 4294967296.0;

void trace(const char* text) {
    OutputDebugStringA(text);
}

// Ring fields live in named memory any process can open; an index is only ever used reduced.
int ringIndex(LONG value) {
    return static_cast<int>(static_cast<ULONG>(value) % kRingBlocks);
}
LONG queued(const EndpointRing* ring) {
    return ring->queuedCount;
}
int slotsOf(int endpointCount) {
    return std::clamp(endpointCount, 0, kEndpointSlots);
}
int entriesOf(int activeCount) {
    return std::clamp(activeCount, 0, kMaxChannelsPerDirection);
}

uint8_t* halfOf(BYTE* buffer, const WidthFormat& format, int frames, int half) {
    return buffer + half * frames * format.hostSampleBytes();
}

// ---- opening ----

void buildWaveFormat(AsioSample& driver, const WidthFormat& format) {
    WAVEFORMATEXTENSIBLE& w = driver.waveFormat;
    w = {};
    w.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    w.Format.nChannels = 2;
    w.Format.nSamplesPerSec = static_cast<DWORD>(driver.currentRate);
    w.Format.nBlockAlign = static_cast<WORD>(format.blockFrameBytes());
    w.Format.nAvgBytesPerSec = w.Format.nBlockAlign * w.Format.nSamplesPerSec;
    w.Format.wBitsPerSample = static_cast<WORD>(format.containerBits);
    w.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    w.Samples.wValidBitsPerSample = static_cast<WORD>(format.containerBits);
    w.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    w.SubFormat = kSubtypePcm;
}

// Header k of a slot wraps block k of the slot's ring.
void fillHeaders(WAVEHDR (&headers)[kHeadersPerSlot], EndpointRing* ring, int slot, DWORD bytes) {
    for (int k = 0; k < kHeadersPerSlot; ++k) {
        headers[k] = {};
        headers[k].lpData = reinterpret_cast<LPSTR>(ring->blocks[k]);
        headers[k].dwBufferLength = bytes;
        headers[k].dwUser = static_cast<DWORD_PTR>(slot) * 65536 + k;
    }
}

DWORD_PTR procOr(DWORD_PTR installed, DWORD_PTR fallback) {
    return installed ? installed : fallback;
}

bool openOutputs(AsioSample& driver, DWORD blockBytes) {
    WaveEndpoints& wave = waveEndpoints();
    EngineState& eng = engine();
    int handled = 0;
    for (int slot = 0; slot < slotsOf(driver.outEndpointCount) && handled < driver.activeOutCount;
         ++slot) {
        if (driver.outPairUsed[slot] == 0)
            continue;
        EndpointRing* ring = eng.outRing(slot);
        if (ring == nullptr)
            return false;
        HWAVEOUT handle = nullptr;
        const DWORD_PTR proc =
            procOr(driver.waveOutProcs[slot], reinterpret_cast<DWORD_PTR>(&outputDone));
        if (wave.outOpen(&handle, driver.outWaveIds[slot], &driver.waveFormat.Format, proc, 0,
                         CALLBACK_FUNCTION) != MMSYSERR_NOERROR ||
            handle == nullptr)
            return false;
        driver.waveOutHandles[slot] = handle;
        ++driver.openOutCount;
        handled += 2;
        fillHeaders(eng.outHeaders[slot], ring, slot, blockBytes);
        for (WAVEHDR& header : eng.outHeaders[slot])
            if (wave.outPrepareHeader(handle, &header, sizeof header) != MMSYSERR_NOERROR)
                return false;
    }
    return true;
}

bool openInputs(AsioSample& driver, DWORD blockBytes) {
    WaveEndpoints& wave = waveEndpoints();
    EngineState& eng = engine();
    int handled = 0;
    for (int slot = 0; slot < slotsOf(driver.inEndpointCount) && handled < driver.activeInCount;
         ++slot) {
        if (driver.inPairUsed[slot] == 0)
            continue;
        EndpointRing* ring = eng.inRing(slot);
        if (ring == nullptr)
            return false;
        HWAVEIN handle = nullptr;
        const DWORD_PTR proc =
            procOr(driver.waveInProcs[slot], reinterpret_cast<DWORD_PTR>(&inputDone));
        if (wave.inOpen(&handle, driver.inWaveIds[slot], &driver.waveFormat.Format, proc, 0,
                        CALLBACK_FUNCTION) != MMSYSERR_NOERROR ||
            handle == nullptr)
            return false;
        driver.waveInHandles[slot] = handle;
        ++driver.openInCount;
        handled += 2;
        fillHeaders(eng.inHeaders[slot], ring, slot, blockBytes);
        for (WAVEHDR& header : eng.inHeaders[slot])
            if (wave.inPrepareHeader(handle, &header, sizeof header) != MMSYSERR_NOERROR ||
                wave.inAddBuffer(handle, &header, sizeof header) != MMSYSERR_NOERROR)
                return false;
    }
    return true;
}

bool startInputs(AsioSample& driver) {
    for (int slot = 0; slot < slotsOf(driver.inEndpointCount); ++slot)
        if (HWAVEIN handle = driver.waveInHandles[slot])
            if (waveEndpoints().inStart(handle) != MMSYSERR_NOERROR)
                return false;
    return true;
}

// The rings are zero after discovery or the last stop, so the primed blocks are silence. A
// device that does not take them cannot stream: that fails the start like a failed open.
bool primeOutputs(AsioSample& driver) {
    EngineState& eng = engine();
    for (int k = 0; k < kPrimedBlocks; ++k) {
        for (int slot = 0; slot < slotsOf(driver.outEndpointCount); ++slot) {
            HWAVEOUT handle = driver.waveOutHandles[slot];
            EndpointRing* ring = eng.outRing(slot);
            if (handle == nullptr || ring == nullptr)
                continue;
            // Counted before it is sent: its completion may come before the write returns.
            InterlockedIncrement(&ring->queuedCount);
            ring->writeIndex = ringIndex(ring->writeIndex + 1);
            WAVEHDR& header = eng.outHeaders[slot][k];
            if (waveEndpoints().outWrite(handle, &header, sizeof header) != MMSYSERR_NOERROR)
                return false;
        }
    }
    return true;
}

// ---- closing ----

// Sleep granularity of one millisecond while a stream runs, so that the streaming thread can
// poll as often as small buffers need.
void holdTimerPeriod(EngineState& eng) {
    if (!eng.timerPeriodHeld && timeBeginPeriod(1) == TIMERR_NOERROR)
        eng.timerPeriodHeld = true;
}

void releaseTimerPeriod(EngineState& eng) {
    if (eng.timerPeriodHeld)
        timeEndPeriod(1);
    eng.timerPeriodHeld = false;
}

// A completion that began before `stopping` was set may still be running on the wave
// subsystem's thread; the rings are zeroed only after it has finished.
void drainCompletions(EngineState& eng) {
    const DWORD begin = GetTickCount();
    while (eng.completionsRunning.load() != 0 && GetTickCount() - begin < kCompletionDrainMs)
        Sleep(1);
}

void zeroRing(EndpointRing* ring) {
    if (ring == nullptr)
        return;
    std::memset(ring->blocks, 0, sizeof ring->blocks);
    ring->readIndex = 0;
    ring->writeIndex = 0;
    ring->queuedCount = 0;
}

// The endpoints to close, taken from the driver object: closing runs on a thread of its own so
// that a device whose reset or close never returns cannot hold the host in stop, and that
// thread must not touch the driver object, which the host may release meanwhile.
struct EndpointClosing {
    HWAVEOUT outputs[kEndpointSlots] = {};
    HWAVEIN inputs[kEndpointSlots] = {};
    HMODULE module = nullptr; // keeps the driver's code loaded until the thread has left it

    bool any() const {
        for (int slot = 0; slot < kEndpointSlots; ++slot)
            if (outputs[slot] != nullptr || inputs[slot] != nullptr)
                return true;
        return false;
    }
};

// True when the device gave every endpoint back; one it kept (a close that failed) may still
// fill or play the ring blocks its headers point at.
bool closeEndpoints(const EndpointClosing& job) {
    bool closed = true;
    for (int slot = 0; slot < kEndpointSlots; ++slot)
        if (job.outputs[slot] != nullptr)
            closed = closeOutputHandle(job.outputs[slot], slot) && closed;
    for (int slot = 0; slot < kEndpointSlots; ++slot)
        if (job.inputs[slot] != nullptr)
            closed = closeInputHandle(job.inputs[slot], slot) && closed;
    return closed;
}

DWORD WINAPI closingThread(void* param) {
    auto* job = static_cast<EndpointClosing*>(param);
    const HMODULE module = job->module;
    DWORD closed = 0;
    try {
        closed = closeEndpoints(*job) ? 1 : 0;
    } catch (...) {
        trace("QvK9ASIO: unexpected failure while closing the endpoints");
    }
    delete job;
    engine().closingThreads.fetch_sub(1);
    if (module != nullptr)
        FreeLibraryAndExitThread(module, closed);
    return closed;
}

// Closes the job's endpoints; false when the device kept them past the wait, or kept one.
bool closeWithinBound(std::unique_ptr<EndpointClosing> job) {
    EngineState& eng = engine();
    job->module = referenceDriverModule();
    eng.closingThreads.fetch_add(1);
    UniqueHandle thread(CreateThread(nullptr, 0, &closingThread, job.get(), 0, nullptr));
    if (!thread) {
        eng.closingThreads.fetch_sub(1);
        if (job->module != nullptr)
            FreeLibrary(job->module);
        return closeEndpoints(*job);
    }
    job.release(); // the thread's now
    DWORD closed = 0;
    return WaitForSingleObject(thread.get(), kClosingWaitMs) == WAIT_OBJECT_0 &&
           GetExitCodeThread(thread.get(), &closed) && closed == 1;
}

// The device still holds blocks of the rings: their views stay mapped for it, out of the
// driver's hands, and this driver object streams no more (a new one makes new rings).
void leaveRingsToTheDevice(EngineState& eng) {
    for (int slot = 0; slot < kEndpointSlots; ++slot) {
        static_cast<void>(eng.outRingViews[slot].release());
        static_cast<void>(eng.outRingMappings[slot].release());
        static_cast<void>(eng.inRingViews[slot].release());
        static_cast<void>(eng.inRingMappings[slot].release());
    }
}

// Closes every open endpoint and leaves the rings as a new start expects them.
void closeStream(AsioSample& driver) {
    EngineState& eng = engine();
    eng.stopping = true;
    std::unique_ptr<EndpointClosing> job(new (std::nothrow) EndpointClosing);
    bool closed = true;
    if (job == nullptr) {
        for (int slot = 0; slot < slotsOf(driver.outEndpointCount); ++slot)
            closed = closeOutputEndpoint(driver, slot) && closed;
        for (int slot = 0; slot < slotsOf(driver.inEndpointCount); ++slot)
            closed = closeInputEndpoint(driver, slot) && closed;
    } else {
        for (int slot = 0; slot < slotsOf(driver.outEndpointCount); ++slot)
            job->outputs[slot] = std::exchange(driver.waveOutHandles[slot], nullptr);
        for (int slot = 0; slot < slotsOf(driver.inEndpointCount); ++slot)
            job->inputs[slot] = std::exchange(driver.waveInHandles[slot], nullptr);
        closed = !job->any() || closeWithinBound(std::move(job));
    }
    driver.openOutCount = 0;
    driver.openInCount = 0;
    if (!closed) {
        trace("QvK9ASIO: the device did not give its endpoints back; the rings stay with it");
        leaveRingsToTheDevice(eng);
        releaseTimerPeriod(eng);
        return;
    }
    drainCompletions(eng);
    for (int slot = 0; slot < slotsOf(driver.outEndpointCount); ++slot)
        zeroRing(eng.outRing(slot));
    for (int slot = 0; slot < slotsOf(driver.inEndpointCount); ++slot)
        zeroRing(eng.inRing(slot));
    releaseTimerPeriod(eng);
}

bool anyEndpointOpen(const AsioSample& driver) {
    for (int slot = 0; slot < kEndpointSlots; ++slot)
        if (driver.waveOutHandles[slot] != nullptr || driver.waveInHandles[slot] != nullptr)
            return true;
    return false;
}

// ---- streaming ----

bool outputReady(const AsioSample& driver) {
    const EngineState& eng = engine();
    for (int slot = 0; slot < slotsOf(driver.outEndpointCount); ++slot) {
        const EndpointRing* ring = eng.outRing(slot);
        if (driver.waveOutHandles[slot] != nullptr && ring != nullptr &&
            queued(ring) >= kOutputBlocksAhead)
            return false;
    }
    return true;
}

bool inputReady(const AsioSample& driver) {
    const EngineState& eng = engine();
    for (int slot = 0; slot < slotsOf(driver.inEndpointCount); ++slot) {
        const EndpointRing* ring = eng.inRing(slot);
        if (driver.waveInHandles[slot] != nullptr && ring != nullptr && queued(ring) <= 0)
            return false;
    }
    return true;
}

// A wave call does not return while the device hangs: the thread is then out of the driver's
// hands as it is inside a host callback, and stop may let it go the same way rather than wait
// for ever. False when the thread must leave at once, without touching the driver again.
template <typename Call>
bool callDevice(EngineThread::Control& control, Call call) {
    if (!control.enterHost())
        return false;
    call();
    return control.leaveHost();
}

// Recorded block -> host half. A block goes back to the device once every channel of its
// endpoint in the buffer set has taken its side. False when the thread must leave.
bool transferInputs(EngineThread::Control& control, AsioSample& driver, const WidthFormat& format,
                    int half) {
    EngineState& eng = engine();
    const EndpointRing* first = eng.inRing(0);
    if (slotsOf(driver.inEndpointCount) == 0 || first == nullptr || queued(first) <= 0)
        return true;
    const int frames = driver.hostBufferFrames;
    for (int i = 0; i < entriesOf(driver.activeInCount); ++i) {
        BYTE* buffer = driver.inChannelBuffers[i];
        const int channel = driver.inChannelMap[i];
        const int slot = channel / 2;
        const int side = channel % 2;
        if (buffer == nullptr || channel < 0 || slot >= slotsOf(driver.inEndpointCount))
            continue;
        EndpointRing* ring = eng.inRing(slot);
        if (ring == nullptr || queued(ring) <= 0)
            continue;
        const int index = ringIndex(ring->readIndex);
        format.input(ring->blocks[index], halfOf(buffer, format, frames, half), frames, side);
        driver.inPairFilled[slot] |= 1u << side;
        if (driver.inPairFilled[slot] != driver.inPairUsed[slot])
            continue;
        driver.inPairFilled[slot] = 0;
        // Handed over before it is queued again: its completion may come before the call
        // returns, and must find the count already lowered.
        ring->readIndex = (index + 1) % kRingBlocks;
        InterlockedDecrement(&ring->queuedCount);
        if (HWAVEIN handle = driver.waveInHandles[slot]) {
            WAVEHDR& header = eng.inHeaders[slot][index];
            if (!callDevice(control,
                            [&] { waveEndpoints().inAddBuffer(handle, &header, sizeof header); }))
                return false;
        }
    }
    return true;
}

// Host half -> next block to play. The first two blocks per endpoint after a start go out
// silent. False when the thread must leave.
bool transferOutputs(EngineThread::Control& control, AsioSample& driver, const WidthFormat& format,
                     int half) {
    EngineState& eng = engine();
    const EndpointRing* first = eng.outRing(0);
    if (first == nullptr || queued(first) >= kRingBlocks)
        return true; // the device holds every block: this switch's output is dropped
    const int frames = driver.hostBufferFrames;
    for (int i = 0; i < entriesOf(driver.activeOutCount); ++i) {
        BYTE* buffer = driver.outChannelBuffers[i];
        const int channel = driver.outChannelMap[i];
        const int slot = channel / 2;
        const int side = channel % 2;
        if (buffer == nullptr || channel < 0 || slot >= slotsOf(driver.outEndpointCount))
            continue;
        EndpointRing* ring = eng.outRing(slot);
        if (ring == nullptr || queued(ring) >= kRingBlocks)
            continue;
        const int index = ringIndex(ring->writeIndex);
        uint8_t* block = ring->blocks[index];
        format.output(halfOf(buffer, format, frames, half), block, frames, side);
        driver.outPairFilled[slot] |= 1u << side;
        if (driver.outPairFilled[slot] != driver.outPairUsed[slot])
            continue;
        driver.outPairFilled[slot] = 0;
        if (driver.mutedBlocks < 2 * slotsOf(driver.outEndpointCount)) {
            std::memset(block, 0, static_cast<size_t>(format.hostSampleBytes()) * 2 * frames);
            ++driver.mutedBlocks;
        }
        HWAVEOUT handle = driver.waveOutHandles[slot];
        if (handle == nullptr)
            continue;
        InterlockedIncrement(&ring->queuedCount);
        ring->writeIndex = (index + 1) % kRingBlocks;
        WAVEHDR& header = eng.outHeaders[slot][index];
        if (!callDevice(control, [&] { waveEndpoints().outWrite(handle, &header, sizeof header); }))
            return false;
    }
    return true;
}

// The time record the host gets with this switch: position and time of the switch, and a
// time code ten minutes ahead of the position when the host asked for time code.
void fillTimeRecord(AsioSample& driver) {
    ASIOTime& record = driver.timeRecord;
    driver.getSamplePosition(&record.timeInfo.samplePosition, &record.timeInfo.systemTime);
    if (driver.timeCodeRead) {
        const double ahead = record.timeInfo.samplePosition.lo + 600.0 * driver.currentRate;
        record.timeCode.timeCodeSamples.hi = 0;
        record.timeCode.timeCodeSamples.lo =
            static_cast<unsigned long>(static_cast<uint64_t>(ahead));
    }
}

// One buffer switch. False when the thread was let go inside the host and must leave.
bool streamStep(EngineThread::Control& control, AsioSample& driver) {
    ASIOCallbacks* callbacks = driver.hostCallbacks.load();
    const WidthFormat* format = widthFormat(engine().streamWidth);
    if (!driver.isRunning.load() || callbacks == nullptr || format == nullptr)
        return true;

    PositionRecord::Snapshot now = driver.position.read();
    unsigned long timeHi = 0, timeLo = 0;
    splitIntoWords(static_cast<double>(timeGetTime()) * 1000000.0, timeHi, timeLo);
    const int half = driver.halfIndex & 1;
    if (!transferInputs(control, driver, *format, half) ||
        !transferOutputs(control, driver, *format, half))
        return false;
    now.samples += driver.hostBufferFrames;
    now.timeHi = timeHi;
    now.timeLo = timeLo;
    driver.position.write(now);
    driver.halfIndex = 1 - half;

    // Only what the host gave is called.
    const bool withTimeInfo = driver.useTimeInfo && callbacks->bufferSwitchTimeInfo != nullptr;
    if (!withTimeInfo && callbacks->bufferSwitch == nullptr)
        return true;
    if (withTimeInfo)
        fillTimeRecord(driver);

    if (!control.enterHost())
        return false;
    // stop clears isRunning before it ends this thread: checked again inside the bracket, so no
    // switch begins once stop has returned.
    if (!driver.isRunning.load())
        return control.leaveHost();
    if (withTimeInfo)
        callbacks->bufferSwitchTimeInfo(&driver.timeRecord, half, ASIOFalse);
    else
        callbacks->bufferSwitch(half, ASIOFalse);
    if (!control.leaveHost())
        return false;

    if (withTimeInfo)
        std::atomic_ref<unsigned long>(driver.timeRecord.timeInfo.flags)
            .fetch_and(~static_cast<unsigned long>(kSampleRateChanged | kClockSourceChanged));
    return true;
}

bool ready(const AsioSample& driver) {
    return driver.openInCount > 0 ? inputReady(driver) : outputReady(driver);
}

// The capture device sets the pace whenever an input is open, else the output queue does.
// Every block that is ready goes to the host at once: a block held back for the next poll is
// time the host loses, and after a late wake-up this is how the stream catches up. A wake-up
// takes at most a ring's worth, so that a host whose switch returns at once still lets the
// thread sleep.
void streamLoop(EngineThread::Control& control, AsioSample& driver) {
    const HANDLE blockDone = engine().blockDone.get();
    for (;;) {
        int steps = 0;
        for (; steps < kRingBlocks && ready(driver); ++steps)
            if (!streamStep(control, driver))
                return;
        // Woken by the next completion; the pause is only the bound when none comes.
        const DWORD pause =
            steps > 0 ? kReadyPollMs : static_cast<DWORD>(std::max(driver.periodMs / 2, 1));
        if (!control.sleepUntil(blockDone, pause))
            return;
    }
}

void raiseToTimeCritical(HANDLE thread) {
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
}

bool openAndStart(AsioSample& driver, const WidthFormat& format) {
    EngineState& eng = engine();
    buildWaveFormat(driver, format);
    const DWORD blockBytes =
        static_cast<DWORD>(format.blockFrameBytes()) * static_cast<DWORD>(driver.hostBufferFrames);
    for (int slot = 0; slot < kEndpointSlots; ++slot)
        driver.inPairFilled[slot] = driver.outPairFilled[slot] = 0;
    if (!openOutputs(driver, blockBytes)) {
        trace("QvK9ASIO: an output endpoint could not be opened");
        return false;
    }
    if (!openInputs(driver, blockBytes)) {
        trace("QvK9ASIO: an input endpoint could not be opened");
        return false;
    }
    if (!startInputs(driver)) {
        trace("QvK9ASIO: an input endpoint could not be started");
        return false;
    }
    if (!primeOutputs(driver)) {
        trace("QvK9ASIO: an output endpoint took no blocks");
        return false;
    }
    driver.position.write({});
    driver.mutedBlocks = 0;
    driver.halfIndex = 0;
    eng.streamWidth = format.width;
    holdTimerPeriod(eng);
    if (!eng.stream.start(driver, streamLoop, raiseToTimeCritical)) {
        trace("QvK9ASIO: the streaming thread could not be created");
        return false;
    }
    driver.isRunning = true;
    return true;
}

} // namespace

EngineState& engine() {
    static EngineState state;
    return state;
}

// Input: a block reaches the host at the first switch after the device has filled it, so a
// sample waits one buffer. Output: the half the host fills at switch n goes to the device at
// switch n + 2, and then queues behind kPrimedBlocks - 1 blocks: each switch sends one block
// for each block played (paced by the input, one switch per recorded block on the same device
// clock; paced by the output, a switch as soon as fewer than kPrimedBlocks are queued), so the
// queue holds the primed count again after each send. Paced by the output, a switch may come up
// to half a period after its block played, never earlier, so the figure is at most half a buffer
// high there. Through a loopback a sample comes back after 1 + 2 + 4 - 1 = 6 buffers plus
// the device's own delay.
int queuedInputLatency(int frames) {
    return frames;
}

int queuedOutputLatency(int frames) {
    return (kSwitchDelayBuffers + kPrimedBlocks - 1) * frames;
}

bool startStreaming(AsioSample& driver) {
    // A device still inside a call from the last stop cannot be opened again.
    if (!ownsDevice(driver) || engine().closingThreads.load() != 0)
        return false;
    const WidthFormat* format = widthFormat(driver.sampleWidth);
    if (format == nullptr || !isBufferSizeInRange(driver.hostBufferFrames) ||
        !(driver.currentRate >= 1.0) || driver.currentRate >= kTwoTo32)
        return false;
    EngineState& eng = engine();
    try {
        // Whatever a previous stream left behind goes first.
        eng.stream.end(kThreadEndWaitMs);
        if (anyEndpointOpen(driver))
            closeStream(driver);
        eng.stopping = false;
        if (openAndStart(driver, *format))
            return true;
    } catch (...) {
        trace("QvK9ASIO: unexpected failure while starting the stream");
    }
    driver.isRunning = false;
    eng.stream.end(kThreadEndWaitMs);
    closeStream(driver);
    return false;
}

void stopStreaming(AsioSample& driver) {
    driver.isRunning = false;
    if (!ownsDevice(driver))
        return;
    EngineState& eng = engine();
    eng.stopping = true;
    eng.stream.end(kThreadEndWaitMs);
    closeStream(driver);
}

void stopStreamThread() {
    engine().stream.end(kThreadEndWaitMs);
}

void CALLBACK outputDone(HWAVEOUT, UINT msg, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (msg != WOM_DONE)
        return;
    EngineState& eng = engine();
    eng.completionsRunning.fetch_add(1);
    try {
        auto* header = reinterpret_cast<WAVEHDR*>(param1);
        const int slot = header != nullptr ? HIWORD(header->dwUser) : kEndpointSlots;
        EndpointRing* ring = slot < kEndpointSlots ? eng.outRing(slot) : nullptr;
        if (!eng.stopping.load() && ring != nullptr) {
            // A played block is silence until the host's audio replaces it.
            if (header->lpData != nullptr && header->dwBufferLength <= kRingBlockBytes)
                std::memset(header->lpData, 0, header->dwBufferLength);
            if (queued(ring) != 0) {
                ring->readIndex = (ringIndex(ring->readIndex) + 1) % kRingBlocks;
                InterlockedDecrement(&ring->queuedCount);
            }
            SetEvent(eng.blockDone.get());
        }
    } catch (...) {
    }
    eng.completionsRunning.fetch_sub(1);
}

void CALLBACK inputDone(HWAVEIN, UINT msg, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (msg != WIM_DATA)
        return;
    EngineState& eng = engine();
    eng.completionsRunning.fetch_add(1);
    try {
        auto* header = reinterpret_cast<WAVEHDR*>(param1);
        const int slot = header != nullptr ? HIWORD(header->dwUser) : kEndpointSlots;
        EndpointRing* ring = slot < kEndpointSlots ? eng.inRing(slot) : nullptr;
        // A full ring drops the notice: that block never reaches the host.
        if (!eng.stopping.load() && ring != nullptr && queued(ring) < kRingBlocks) {
            ring->writeIndex = (ringIndex(ring->writeIndex) + 1) % kRingBlocks;
            InterlockedIncrement(&ring->queuedCount);
            SetEvent(eng.blockDone.get());
        }
    } catch (...) {
    }
    eng.completionsRunning.fetch_sub(1);
}

bool closeOutputEndpoint(AsioSample& driver, int slot) {
    if (slot < 0 || slot >= kEndpointSlots)
        return true;
    HWAVEOUT handle = std::exchange(driver.waveOutHandles[slot], nullptr);
    return handle == nullptr || closeOutputHandle(handle, slot);
}

bool closeInputEndpoint(AsioSample& driver, int slot) {
    if (slot < 0 || slot >= kEndpointSlots)
        return true;
    HWAVEIN handle = std::exchange(driver.waveInHandles[slot], nullptr);
    return handle == nullptr || closeInputHandle(handle, slot);
}

bool closeOutputHandle(HWAVEOUT handle, int slot) {
    WaveEndpoints& wave = waveEndpoints();
    wave.outReset(handle);
    for (WAVEHDR& header : engine().outHeaders[slot])
        wave.outUnprepareHeader(handle, &header, sizeof header);
    return wave.outClose(handle) == MMSYSERR_NOERROR;
}

bool closeInputHandle(HWAVEIN handle, int slot) {
    WaveEndpoints& wave = waveEndpoints();
    wave.inStop(handle);
    wave.inReset(handle);
    for (WAVEHDR& header : engine().inHeaders[slot])
        wave.inUnprepareHeader(handle, &header, sizeof header);
    return wave.inClose(handle) == MMSYSERR_NOERROR;
}
