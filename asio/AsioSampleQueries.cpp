// The IASIO operations that report or set one value at a time.
#include "AsioSample.h"

#include "DriverIdentity.h"
#include "DriverSettings.h"
#include "GuardedCall.h"
#include "RateSet.h"
#include "common/PanelCommands.h"

#include <cstdio>
#include <cstring>

namespace {

void copyText(char* dest, size_t bytes, const char* text) {
    std::snprintf(dest, bytes, "%s", text);
}

ASIOSampleType sampleTypeForWidth(int width) {
    switch (width) {
    case 16:
        return ASIOSTInt16LSB;
    case 24:
        return ASIOSTInt24LSB;
    default:
        return ASIOSTInt32LSB;
    }
}

} // namespace

// The streaming thread clears these flags after each switch while host threads raise them.
void AsioSample::raiseTimeFlags(unsigned long flags) {
    std::atomic_ref<unsigned long>(timeRecord.timeInfo.flags).fetch_or(flags);
}

void AsioSample::getDriverName(char* name) {
    guardedVoid([&] {
        if (name != nullptr)
            copyText(name, 32, kDriverName);
    });
}

long AsioSample::getDriverVersion() {
    return 1;
}

void AsioSample::getErrorMessage(char* string) {
    guardedVoid([&] {
        if (string != nullptr)
            std::memcpy(string, lastError, std::strlen(lastError) + 1);
    });
}

ASIOError AsioSample::getChannels(long* numInputChannels, long* numOutputChannels) {
    if (numInputChannels == nullptr || numOutputChannels == nullptr)
        return ASE_InvalidParameter;
    *numInputChannels = inChannelTotal;
    *numOutputChannels = outChannelTotal;
    return ASE_OK;
}

ASIOError AsioSample::getLatencies(long* inputLatency, long* outputLatency) {
    if (inputLatency == nullptr || outputLatency == nullptr)
        return ASE_InvalidParameter;
    *inputLatency = inLatencyFrames;
    *outputLatency = outLatencyFrames;
    return ASE_OK;
}

ASIOError AsioSample::getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                    long* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr)
        return ASE_InvalidParameter;
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        *minSize = kMinBufferFrames;
        *maxSize = kMaxBufferFrames;
        *granularity = kBufferGranularity;
        if (const AsioSharedBlock* choices = panelSide()) {
            usePrfBufSize = choices->useRequestedFrames;
            if (usePrfBufSize != 0 && isBufferSizeInRange(choices->requestedFrames))
                prfBufSize = choices->requestedFrames / kBufferGranularity * kBufferGranularity;
            *preferredSize = prfBufSize;
            if (AsioSharedBlock* b = block()) {
                b->minBufferFrames = kMinBufferFrames;
                b->maxBufferFrames = kMaxBufferFrames;
                b->preferredFrames = prfBufSize;
                b->granularityFrames = kBufferGranularity;
                notify(ASIOWM_GETBUFSIZE);
            }
        } else {
            *preferredSize = usePrfBufSize != 0 ? prfBufSize : rateDerivedBufferSize(*this);
        }
        return ASE_OK;
    });
}

ASIOError AsioSample::canSampleRate(ASIOSampleRate sampleRate) {
    return isSupportedRate(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError AsioSample::getSampleRate(ASIOSampleRate* sampleRate) {
    if (sampleRate == nullptr)
        return ASE_InvalidParameter;
    *sampleRate = currentRate;
    return ASE_OK;
}

ASIOError AsioSample::setSampleRate(ASIOSampleRate rate) {
    if (!isSupportedRate(rate))
        return ASE_NoClock;
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        if (rate != currentRate) {
            currentRate = rate;
            timeRecord.timeInfo.sampleRate = rate;
            raiseTimeFlags(kSampleRateChanged);
            periodMs = static_cast<int>(hostBufferFrames * 1000.0 / rate);
            if (ASIOCallbacks* cb = hostCallbacks.load()) {
                if (cb->sampleRateDidChange != nullptr)
                    cb->sampleRateDidChange(rate);
                if (cb->asioMessage != nullptr)
                    cb->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            }
            if (const AsioSharedBlock* choices = panelSide()) {
                usePrfBufSize = choices->useRequestedFrames;
                prfBufSize = panelOrRateDerivedSize(*this, *choices);
            } else if (usePrfBufSize == 0) {
                prfBufSize = rateDerivedBufferSize(*this);
            }
        }
        if (AsioSharedBlock* b = block())
            b->sampleRate = static_cast<int32_t>(currentRate);
        notify(ASIOWM_SMPLRATECHANGE);
        return ASE_OK;
    });
}

ASIOError AsioSample::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks == nullptr || numSources == nullptr)
        return ASE_InvalidParameter;
    clocks[0].index = 0;
    clocks[0].associatedChannel = -1;
    clocks[0].associatedGroup = -1;
    clocks[0].isCurrentSource = ASIOTrue;
    copyText(clocks[0].name, sizeof(clocks[0].name), "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError AsioSample::setClockSource(long reference) {
    if (reference != 0)
        return ASE_NotPresent;
    raiseTimeFlags(kClockSourceChanged);
    return ASE_OK;
}

ASIOError AsioSample::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (sPos == nullptr || tStamp == nullptr)
        return ASE_InvalidParameter;
    const PositionRecord::Snapshot now = position.read();
    tStamp->hi = now.timeHi;
    tStamp->lo = now.timeLo;
    splitIntoWords(now.samples, sPos->hi, sPos->lo);
    return ASE_OK;
}

ASIOError AsioSample::getChannelInfo(ASIOChannelInfo* info) {
    if (info == nullptr)
        return ASE_InvalidParameter;
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        const bool input = info->isInput != ASIOFalse;
        const long channel = info->channel;
        const int total = input ? inChannelTotal : outChannelTotal;
        if (channel < 0 || channel >= total)
            return ASE_InvalidParameter;

        if (const AsioSharedBlock* choices = panelSide()) {
            // The host laid out its buffer halves for the width of the set it holds; a new
            // width is taken when it builds the next set (normally after a reset).
            const bool bufferSetExists = activeInCount != 0 || activeOutCount != 0;
            if (isSupportedWidth(choices->requestedBits) && !bufferSetExists)
                sampleWidth = choices->requestedBits;
            if (AsioSharedBlock* b = block()) {
                b->sampleBits = sampleWidth;
                notify(ASIOWM_GETCHANNELINFO);
            }
        }
        info->type = sampleTypeForWidth(sampleWidth);
        info->channelGroup = 0;
        const char* port = input ? inPortNames[channel / 2] : outPortNames[channel / 2];
        std::snprintf(info->name, sizeof(info->name), "%s (%c)", port,
                      channel % 2 == 0 ? 'L' : 'R');

        const int* map = input ? inChannelMap : outChannelMap;
        const int active = input ? activeInCount : activeOutCount;
        info->isActive = ASIOFalse;
        for (int i = 0; i < active; ++i) {
            if (map[i] == channel)
                info->isActive = ASIOTrue;
        }
        return ASE_OK;
    });
}

ASIOError AsioSample::future(long selector, void* /*opt*/) {
    switch (selector) {
    case kAsioEnableTimeCodeRead:
        timeCodeRead = true;
        return ASE_SUCCESS;
    case kAsioDisableTimeCodeRead:
        timeCodeRead = false;
        return ASE_SUCCESS;
    case kAsioSetInputMonitor:
    case kAsioCanInputMonitor:
    case kAsioCanTimeInfo:
    case kAsioCanTimeCode:
        return ASE_SUCCESS;
    default:
        return ASE_NotPresent;
    }
}

ASIOError AsioSample::outputReady() {
    return ASE_NotPresent;
}
