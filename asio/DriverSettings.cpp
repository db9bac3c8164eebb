#include "DriverSettings.h"

#include "AsioSample.h"
#include "DriverIdentity.h"
#include "RateSet.h"

#include <cstdio>
#include <cstring>

namespace {

struct IntSetting {
    const char* key;
    int defaultValue;
};

constexpr IntSetting kSampleRate{"SampleRate", 44100};
constexpr IntSetting kPrfBufSize{"PrfBufSize", 6144};
constexpr IntSetting kUsePrfBufSize{"UsePrfBufSize", 0};
constexpr IntSetting kBitPerSample{"BitPerSample", 16};

UINT readSetting(const IntSetting& s) {
    return GetProfileIntA(kDriverProfileSection, s.key, s.defaultValue);
}

void writeSetting(const IntSetting& s, long long value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%lld", value);
    WriteProfileStringA(kDriverProfileSection, s.key, text);
}

} // namespace

int rateDerivedBufferSize(const AsioSample& driver) {
    return static_cast<int>(driver.currentRate) / driver.rateDivisor;
}

int panelOrRateDerivedSize(const AsioSample& driver, const AsioSharedBlock& block) {
    return block.useRequestedFrames != 0 && isBufferSizeInRange(block.requestedFrames)
               ? block.requestedFrames
               : rateDerivedBufferSize(driver);
}

void readDriverSettings(AsioSample& driver) {
    driver.prfBufSize = static_cast<int>(readSetting(kPrfBufSize));
    driver.usePrfBufSize = static_cast<int>(readSetting(kUsePrfBufSize));
    const UINT rate = readSetting(kSampleRate);
    driver.currentRate = rate == 0 ? 44100.0 : static_cast<double>(rate);
    driver.sampleWidth = static_cast<int>(readSetting(kBitPerSample));

    // A hand-edited or damaged profile must not hand the host a rate the device cannot run, a
    // preferred size outside the limits it was given, or a width that would stream nothing.
    if (!isSupportedRate(driver.currentRate))
        driver.currentRate = 44100.0;
    if (!isBufferSizeInRange(driver.prfBufSize))
        driver.prfBufSize = kPrfBufSize.defaultValue;
    if (!isSupportedWidth(driver.sampleWidth))
        driver.sampleWidth = kBitPerSample.defaultValue;
}

void writeDriverSettings(const AsioSample& driver) {
    writeSetting(kSampleRate, static_cast<long long>(driver.currentRate));
    writeSetting(kPrfBufSize, driver.prfBufSize);
    writeSetting(kUsePrfBufSize, driver.usePrfBufSize);
    writeSetting(kBitPerSample, driver.sampleWidth);
}

void settleWithSharedBlock(AsioSample& driver) {
    if (!driver.sharedBlock.open())
        return;
    AsioSharedBlock* block = driver.sharedBlock.raw();
    if (driver.sharedBlock.created()) {
        block->startRate = static_cast<int32_t>(driver.currentRate);
        block->requestedBits = driver.sampleWidth;
        block->requestedFrames = driver.prfBufSize;
        block->useRequestedFrames = driver.usePrfBufSize;
        return;
    }
    if (block->magic != kAsioSharedBlockMagic)
        return; // someone else's record under our name: keep the profile's values
    driver.currentRate = block->startRate != 0 ? static_cast<double>(block->startRate) : 44100.0;
    if (!isSupportedRate(driver.currentRate))
        driver.currentRate = 44100.0;
    // A panel that has not written its width yet leaves 0 here: keep the profile's width then.
    if (isSupportedWidth(block->requestedBits))
        driver.sampleWidth = block->requestedBits;
    driver.usePrfBufSize = block->useRequestedFrames;
    driver.prfBufSize = panelOrRateDerivedSize(driver, *block);
}
