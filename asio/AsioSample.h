// The driver object an ASIO host creates: IASIO over the device's stereo input and output.
#pragma once

#include "AsioInterface.h"
#include "ComBase.h"
#include "EndpointRing.h"
#include "PositionRecord.h"
#include "common/SharedBlockAccess.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <atomic>

constexpr long kMinBufferFrames = 128;
constexpr long kMaxBufferFrames = 6144;
constexpr long kBufferGranularity = 32;
constexpr int kMaxChannelsPerDirection = 2 * kEndpointSlots;
constexpr int kPortNameBytes = 64;
constexpr int kErrorTextBytes = 128;

class AsioSample : public IASIO, public CUnknown {
public:
    AsioSample(IUnknown* outer, HRESULT* result);
    ~AsioSample() override;

    // IUnknown of IASIO: forwarded to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    long getDriverVersion() override;
    void getErrorMessage(char* string) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override;
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                            long* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) override;
    ASIOError setClockSource(long reference) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(long selector, void* opt) override;
    ASIOError outputReady() override;

    // ---- State shared with discovery, the streaming engine and the monitor thread. ----

    // Only the object that speaks for the device publishes its state: the one that took it, or
    // any while nobody has. A second object in the same host (a host scanning drivers while it
    // streams), or one in a second host, must not overwrite or announce anything of the stream
    // of the object that holds the device.
    bool speaksForDevice() const;
    // The block to publish into: mapped, carrying the magic, and this object speaks for the
    // device; null otherwise.
    AsioSharedBlock* block() const { return speaksForDevice() ? sharedBlock.valid() : nullptr; }
    // The block as the panel sees every object: its choices to read, the show request to set.
    AsioSharedBlock* panelSide() const { return sharedBlock.valid(); }
    // Sends a panel command when the panel window exists and this object speaks for the device
    // (the user's own request to show the panel always goes).
    void notify(unsigned command) const;

    SharedBlockAccess sharedBlock;
    bool classified = false; // the system classification succeeded at construction
    int systemGeneration = 9;
    int rateDivisor = 40;
    int hostBufferFrames = kMaxBufferFrames;
    int prfBufSize = kMaxBufferFrames;
    int usePrfBufSize = 0;
    int mutedBlocks = 0;

    char outPortNames[kEndpointSlots][kPortNameBytes] = {};
    char inPortNames[kEndpointSlots][kPortNameBytes] = {};
    int outEndpointCount = 0;
    int inEndpointCount = 0;
    UINT outWaveIds[kEndpointSlots] = {};
    UINT inWaveIds[kEndpointSlots] = {};
    int openOutCount = 0;
    int openInCount = 0;
    HWAVEOUT waveOutHandles[kEndpointSlots] = {};
    HWAVEIN waveInHandles[kEndpointSlots] = {};
    DWORD_PTR waveOutProcs[kEndpointSlots] = {};
    DWORD_PTR waveInProcs[kEndpointSlots] = {};
    WAVEFORMATEXTENSIBLE waveFormat = {};

    int sampleWidth = 16;
    int activeInCount = 0;
    int activeOutCount = 0;
    PositionRecord position; // samplesProcessed and lastSwitchTime, read by getSamplePosition
    double currentRate = 44100.0;
    std::atomic<ASIOCallbacks*> hostCallbacks{nullptr};
    // The host of this buffer set takes bufferSwitchTimeInfo.
    std::atomic<bool> useTimeInfo{false};
    ASIOTime timeRecord = {};

    BYTE* inChannelBuffers[kMaxChannelsPerDirection] = {};
    BYTE* outChannelBuffers[kMaxChannelsPerDirection] = {};
    int inChannelMap[kMaxChannelsPerDirection] = {};
    int outChannelMap[kMaxChannelsPerDirection] = {};
    unsigned inPairUsed[kEndpointSlots] = {};
    unsigned outPairUsed[kEndpointSlots] = {};
    unsigned inPairFilled[kEndpointSlots] = {};
    unsigned outPairFilled[kEndpointSlots] = {};

    int inLatencyFrames = kMaxBufferFrames;
    int outLatencyFrames = 2 * kMaxBufferFrames;
    int halfIndex = 0;
    int periodMs = 0;
    bool isInitialised = false;
    std::atomic<bool> isRunning{false};
    bool timeCodeRead = false;
    char lastError[kErrorTextBytes] = {};
    int inChannelTotal = 0;
    int outChannelTotal = 0;

    // The driver's own threads hold the object's memory while they run, so that a host that
    // releases it meanwhile (from another thread, or from inside a callback) frees it only once
    // they have left. Taken before a thread starts; the last one given back deletes it.
    void holdMemory() { memoryHolds_.fetch_add(1); }
    void releaseMemory();

private:
    void lastReferenceGone() override;
    // Stops the stream, gives the device back and tells the panel: what the host's last
    // Release does, whoever still holds the memory.
    void endObject();
    void publishLoad();
    void disposeChannelBuffers();

    std::atomic<int> memoryHolds_{1}; // the host's references count as one
    bool ended = false;

    bool loadPublished = false;
    // Another object, here or in another host, held the device while this one had not taken
    // it: what this one holds never reached the device, and is not stored at its end.
    bool deviceHeldByAnother = false;
    void raiseTimeFlags(unsigned long flags);
};

// The class table's creation function.
CUnknown* CreateAsioSample(IUnknown* outer, HRESULT* result);

// Widths the driver can stream.
inline bool isSupportedWidth(int bits) {
    return bits == 16 || bits == 24 || bits == 32;
}
inline bool isBufferSizeInRange(long frames) {
    return frames >= kMinBufferFrames && frames <= kMaxBufferFrames;
}
