#include "AsioNames.h"
#include "Commands.h"
#include "CrashGuard.h"
#include "DriverConnection.h"
#include "ExitCodes.h"

#include <cstdio>
#include <cstring>

namespace asiohost {

namespace {

// Rates hosts commonly offer; the driver says which of them it takes.
constexpr double kCommonRates[] = {8000,  11025, 16000, 22050,  32000,  44100,  48000,
                                   64000, 88200, 96000, 176400, 192000, 352800, 384000};

constexpr int kMaxClockSources = 16;

// More channels than any device has means the count itself is wrong; show the first ones.
constexpr long kMaxChannelsShown = 256;

void printChannels(IASIO* driver, long count, bool input) {
    if (count > kMaxChannelsShown)
        std::printf("    (%ld %s channels reported; showing the first %ld)\n", count,
                    input ? "input" : "output", kMaxChannelsShown);
    for (long channel = 0; channel < count && channel < kMaxChannelsShown; ++channel) {
        ASIOChannelInfo info{};
        info.channel = channel;
        info.isInput = input ? ASIOTrue : ASIOFalse;
        ASIOError result;
        {
            DriverCallScope scope("getChannelInfo");
            result = driver->getChannelInfo(&info);
        }
        if (result != ASE_OK) {
            std::printf("    %-3s %2ld  getChannelInfo failed: %s\n", input ? "in" : "out", channel,
                        errorName(result).c_str());
            continue;
        }
        info.name[sizeof(info.name) - 1] = '\0';
        std::printf("    %-3s %2ld  %-32s %-10s group %ld  %s\n", input ? "in" : "out", channel,
                    info.name, sampleTypeName(info.type).c_str(), info.channelGroup,
                    info.isActive == ASIOTrue ? "active" : "inactive");
    }
}

void printRates(IASIO* driver) {
    std::string accepted;
    std::string refused;
    for (double rate : kCommonRates) {
        ASIOError result;
        {
            DriverCallScope scope("canSampleRate");
            result = driver->canSampleRate(rate);
        }
        std::string& list = result == ASE_OK ? accepted : refused;
        list += (list.empty() ? "" : " ") + std::to_string(static_cast<long>(rate));
    }
    std::printf("  Sample rates    accepted: %s\n", accepted.empty() ? "none" : accepted.c_str());
    std::printf("                  refused:  %s\n", refused.empty() ? "none" : refused.c_str());

    ASIOSampleRate current = 0;
    ASIOError result;
    {
        DriverCallScope scope("getSampleRate");
        result = driver->getSampleRate(&current);
    }
    if (result == ASE_OK)
        std::printf("  Current rate    %.0f Hz\n", current);
    else
        std::printf("  Current rate    getSampleRate failed: %s\n", errorName(result).c_str());
}

void printClockSources(IASIO* driver) {
    ASIOClockSource clocks[kMaxClockSources] = {};
    long count = kMaxClockSources;
    ASIOError result;
    {
        DriverCallScope scope("getClockSources");
        result = driver->getClockSources(clocks, &count);
    }
    if (result != ASE_OK) {
        std::printf("  Clock sources   getClockSources failed: %s\n", errorName(result).c_str());
        return;
    }
    std::printf("  Clock sources   %ld\n", count);
    for (long i = 0; i < count && i < kMaxClockSources; ++i) {
        ASIOClockSource& c = clocks[i];
        c.name[sizeof(c.name) - 1] = '\0';
        std::printf("    [%ld] %-32s channel %ld, group %ld%s\n", c.index, c.name,
                    c.associatedChannel, c.associatedGroup,
                    c.isCurrentSource == ASIOTrue ? "  (current)" : "");
    }
}

} // namespace

int runInfo(const HostOptions& options) {
    LoadedDriver loaded;
    if (!loadDriver(options.driverName, options.nullWindow, loaded))
        return kExitDriverFailure;
    IASIO* driver = loaded.driver.get();

    char name[128] = {};
    long version;
    {
        DriverCallScope scope("getDriverName");
        driver->getDriverName(name);
    }
    name[sizeof(name) - 1] = '\0';
    {
        DriverCallScope scope("getDriverVersion");
        version = driver->getDriverVersion();
    }
    std::printf("Driver \"%s\", version %ld (init with %s window)\n", name, version,
                options.nullWindow ? "a null" : "the desktop");

    long inputs = 0;
    long outputs = 0;
    ASIOError result;
    {
        DriverCallScope scope("getChannels");
        result = driver->getChannels(&inputs, &outputs);
    }
    if (result != ASE_OK) {
        std::printf("  Channels        getChannels failed: %s\n", errorName(result).c_str());
    } else {
        std::printf("  Channels        %ld in, %ld out\n", inputs, outputs);
        printChannels(driver, inputs, true);
        printChannels(driver, outputs, false);
    }

    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    {
        DriverCallScope scope("getBufferSize");
        result = driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
    }
    if (result == ASE_OK)
        std::printf("  Buffer sizes    min %ld, max %ld, preferred %ld, granularity %ld frames\n",
                    minSize, maxSize, preferred, granularity);
    else
        std::printf("  Buffer sizes    getBufferSize failed: %s\n", errorName(result).c_str());

    printRates(driver);

    long inLatency = 0, outLatency = 0;
    {
        DriverCallScope scope("getLatencies");
        result = driver->getLatencies(&inLatency, &outLatency);
    }
    if (result == ASE_OK)
        std::printf("  Latencies       in %ld, out %ld frames (no buffers created yet)\n",
                    inLatency, outLatency);
    else
        std::printf("  Latencies       getLatencies failed: %s\n", errorName(result).c_str());

    printClockSources(driver);
    return kExitOk;
}

} // namespace asiohost
