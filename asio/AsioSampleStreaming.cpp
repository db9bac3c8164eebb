// The IASIO operations that walk the driver through its lifecycle: open the device, build and
// drop the buffer set, start and stop the stream.
#include "AsioSample.h"

#include "Discovery.h"
#include "DriverIdentity.h"
#include "GuardedCall.h"
#include "StreamEngine.h"
#include "common/PanelCommands.h"

#include <cstdlib>
#include <cstring>

ASIOBool AsioSample::init(void* /*sysHandle*/) {
    if (isInitialised)
        return ASIOTrue;
    return guarded<ASIOBool>(ASIOFalse, [&] {
        EngineState& eng = engine();
        Locked lifecycle(eng.lifecycle);
        std::strcpy(lastError, kOpenFailureText);
        // One object per host process opens the device; another one in the same host (a host
        // probing drivers while it streams) must not take the rings from under the first.
        AsioSample* owner = nullptr;
        if (!classified)
            return ASIOFalse;
        if (!eng.deviceOwner.compare_exchange_strong(owner, this) && owner != this) {
            deviceHeldByAnother = true;
            return ASIOFalse;
        }

        outEndpointCount = inEndpointCount = 0;
        outChannelTotal = inChannelTotal = 0;
        std::memset(outPortNames, 0, sizeof(outPortNames));
        std::memset(inPortNames, 0, sizeof(inPortNames));
        openOutCount = openInCount = 0;
        for (int slot = 0; slot < kEndpointSlots; ++slot) {
            waveOutHandles[slot] = nullptr;
            waveInHandles[slot] = nullptr;
            eng.outRingViews[slot].reset();
            eng.inRingViews[slot].reset();
            eng.outRingMappings[slot].reset();
            eng.inRingMappings[slot].reset();
            eng.outRingClaims[slot].reset();
            eng.inRingClaims[slot].reset();
            waveOutProcs[slot] = reinterpret_cast<DWORD_PTR>(&outputDone);
            waveInProcs[slot] = reinterpret_cast<DWORD_PTR>(&inputDone);
        }
        if (!discoverInputEndpoints(*this) || !discoverOutputEndpoints(*this)) {
            stopStreamThread();
            releaseOutputEndpoints(*this);
            releaseInputEndpoints(*this);
            // Nothing of a failed open stays usable: no channels to build buffers on.
            outChannelTotal = inChannelTotal = 0;
            eng.deviceOwner = nullptr;
            return ASIOFalse;
        }
        isInitialised = true;
        publishLoad();
        if (AsioSharedBlock* b = block()) {
            b->outEndpointCount = outEndpointCount;
            b->inEndpointCount = inEndpointCount;
        }
        notify(ASIOWM_INIT);
        return ASIOTrue;
    });
}

ASIOError AsioSample::start() {
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        Locked lifecycle(engine().lifecycle);
        if (AsioSharedBlock* b = block())
            b->streamRunning = 1;
        notify(ASIOWM_START);
        if (activeOutCount == 0 && activeInCount == 0)
            return ASE_NotPresent;
        if (isRunning)
            return ASE_OK;
        if (hostCallbacks.load() == nullptr)
            return ASE_NotPresent;
        if (!startStreaming(*this))
            return ASE_NotPresent;
        return ASE_OK;
    });
}

ASIOError AsioSample::stop() {
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        Locked lifecycle(engine().lifecycle);
        stopStreaming(*this);
        if (AsioSharedBlock* b = block())
            b->streamRunning = 0;
        notify(ASIOWM_STOP);
        return ASE_OK;
    });
}

ASIOError AsioSample::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                    ASIOCallbacks* callbacks) {
    return guarded<ASIOError>(ASE_NoMemory, [&] {
        Locked lifecycle(engine().lifecycle);
        if (isRunning || activeInCount != 0 || activeOutCount != 0)
            return ASE_InvalidParameter;
        if (!isBufferSizeInRange(bufferSize))
            return ASE_InvalidParameter;
        if (numChannels < 0 || (numChannels > 0 && bufferInfos == nullptr))
            return ASE_InvalidParameter;

        hostBufferFrames = static_cast<int>(bufferSize);
        inLatencyFrames = queuedInputLatency(static_cast<int>(bufferSize));
        outLatencyFrames = queuedOutputLatency(static_cast<int>(bufferSize));
        periodMs = static_cast<int>(bufferSize * 1000.0 / currentRate);

        bool allocationFailed = false;
        for (long i = 0; i < numChannels; ++i) {
            ASIOBufferInfo& info = bufferInfos[i];
            const bool input = info.isInput != ASIOFalse;
            const int offered = input ? inChannelTotal : outChannelTotal;
            int& active = input ? activeInCount : activeOutCount;
            // Checked before anything is recorded, so no entry lands past the map.
            if (info.channelNum < 0 || info.channelNum >= offered || active >= offered) {
                disposeBuffers();
                return ASE_InvalidParameter;
            }
            const int channel = static_cast<int>(info.channelNum);
            (input ? inChannelMap : outChannelMap)[active] = channel;
            (input ? inPairUsed : outPairUsed)[channel / 2] |= 1u << (channel % 2);
            auto* buffer = static_cast<BYTE*>(std::calloc(bufferSize, 8));
            (input ? inChannelBuffers : outChannelBuffers)[active] = buffer;
            if (buffer != nullptr) {
                info.buffers[0] = buffer;
                info.buffers[1] = buffer + bufferSize * (sampleWidth / 8);
            } else {
                info.buffers[0] = info.buffers[1] = nullptr;
                allocationFailed = true;
            }
            ++active;
        }
        if (allocationFailed) {
            disposeBuffers();
            return ASE_NoMemory;
        }

        hostCallbacks = callbacks;
        const bool timeInfo =
            callbacks != nullptr && callbacks->asioMessage != nullptr &&
            callbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) != 0;
        useTimeInfo = timeInfo;
        if (timeInfo) {
            timeRecord = {};
            timeRecord.timeInfo.speed = 1.0;
            timeRecord.timeInfo.sampleRate = currentRate;
            timeRecord.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
            timeRecord.timeCode.speed = 1.0;
            timeRecord.timeCode.flags = kTcValid | kTcRunning;
        }
        startMonitor(*this);
        if (AsioSharedBlock* b = block()) {
            b->bufferFrames = static_cast<int32_t>(bufferSize);
            b->outputChannelsInUse = activeOutCount;
            b->inputChannelsInUse = activeInCount;
        }
        notify(ASIOWM_BUFCREATE);
        return ASE_OK;
    });
}

ASIOError AsioSample::disposeBuffers() {
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        Locked lifecycle(engine().lifecycle);
        stopMonitor(*this);
        stop();
        hostCallbacks = nullptr;
        disposeChannelBuffers();
        if (AsioSharedBlock* b = block()) {
            b->bufferFrames = 0;
            b->outputChannelsInUse = 0;
            b->inputChannelsInUse = 0;
        }
        notify(ASIOWM_BUFDISPOSE);
        return ASE_OK;
    });
}

void AsioSample::disposeChannelBuffers() {
    for (int i = 0; i < kMaxChannelsPerDirection; ++i) {
        std::free(inChannelBuffers[i]);
        inChannelBuffers[i] = nullptr;
        inChannelMap[i] = 0;
        std::free(outChannelBuffers[i]);
        outChannelBuffers[i] = nullptr;
        outChannelMap[i] = 0;
    }
    for (int slot = 0; slot < kEndpointSlots; ++slot) {
        inPairUsed[slot] = inPairFilled[slot] = 0;
        outPairUsed[slot] = outPairFilled[slot] = 0;
    }
    activeInCount = 0;
    activeOutCount = 0;
}
