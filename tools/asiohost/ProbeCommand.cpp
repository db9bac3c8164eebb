#include "AsioNames.h"
#include "Commands.h"
#include "CrashGuard.h"
#include "DriverConnection.h"
#include "ExitCodes.h"
#include "ProbeReport.h"
#include "ProbeSession.h"
#include "SampleTypes.h"
#include "SampleWidthRequest.h"

#include <cstdio>

namespace asiohost {

namespace {

// Asks every channel for its type; false (with the reason printed) when one cannot be driven.
bool planChannels(IASIO* driver, long inputs, long outputs, int bits, ProbeSetup& setup,
                  std::string& typeText) {
    for (int pass = 0; pass < 2; ++pass) {
        const bool input = pass == 0;
        for (long channel = 0; channel < (input ? inputs : outputs); ++channel) {
            ASIOChannelInfo info{};
            info.channel = channel;
            info.isInput = input ? ASIOTrue : ASIOFalse;
            ASIOError result;
            {
                DriverCallScope scope("getChannelInfo");
                result = driver->getChannelInfo(&info);
            }
            const char* direction = input ? "input" : "output";
            if (result != ASE_OK) {
                std::printf("error: getChannelInfo of %s %ld failed: %s\n", direction, channel,
                            errorName(result).c_str());
                return false;
            }
            const SampleTypeRow* row = findSampleType(info.type);
            if (row == nullptr) {
                std::printf("error: %s %ld has sample type %s; the probe drives Int16LSB, "
                            "Int24LSB and Int32LSB\n",
                            direction, channel, sampleTypeName(info.type).c_str());
                return false;
            }
            if (bits != 0 && row->bits != bits) {
                std::printf("error: %d-bit samples were asked for, but the driver reports %s "
                            "for %s %ld\n",
                            bits, sampleTypeName(info.type).c_str(), direction, channel);
                return false;
            }
            const std::string name = sampleTypeName(info.type);
            if (typeText.empty())
                typeText = name;
            else if (typeText != name && typeText.find("mixed") != 0)
                typeText = "mixed types (" + typeText + ", " + name + ")";
            setup.channels.push_back({input, channel, row->layout});
        }
    }
    if (inputs >= 2 && outputs >= 2) {
        setup.inLeft = 0;
        setup.inRight = 1;
        setup.outLeft = static_cast<int>(inputs);
        setup.outRight = static_cast<int>(inputs) + 1;
    }
    return true;
}

} // namespace

int runProbe(const HostOptions& options) {
    // Declared first so that the panel's width choice is put back after the driver is gone.
    SampleWidthRequest width;
    LoadedDriver loaded;
    if (!loadDriver(options.driverName, options.nullWindow, loaded))
        return kExitDriverFailure;
    IASIO* driver = loaded.driver.get();

    char name[128] = {};
    {
        DriverCallScope scope("getDriverName");
        driver->getDriverName(name);
    }
    name[sizeof(name) - 1] = '\0';

    if (options.rate > 0) {
        ASIOError result;
        {
            DriverCallScope scope("setSampleRate");
            result = driver->setSampleRate(options.rate);
        }
        if (result != ASE_OK) {
            std::printf("error: the driver refused %.0f Hz: setSampleRate returned %s\n",
                        options.rate, errorName(result).c_str());
            return kExitDriverFailure;
        }
    }

    if (options.bits != 0) {
        std::string error;
        if (!width.apply(options.bits, error)) {
            std::printf("error: cannot ask for %d-bit samples: %s\n", options.bits, error.c_str());
            return kExitDriverFailure;
        }
    }

    long inputs = 0, outputs = 0;
    ASIOError result;
    {
        DriverCallScope scope("getChannels");
        result = driver->getChannels(&inputs, &outputs);
    }
    if (result != ASE_OK || inputs < 0 || outputs < 0 || inputs + outputs == 0 ||
        inputs + outputs > 1024) {
        std::printf("error: getChannels returned %s with %ld inputs and %ld outputs\n",
                    errorName(result).c_str(), inputs, outputs);
        return kExitDriverFailure;
    }

    ProbeSetup setup;
    setup.driver = driver;
    setup.seconds = options.seconds;
    setup.timeInfo = options.timeInfo;
    std::string typeText;
    if (!planChannels(driver, inputs, outputs, options.bits, setup, typeText))
        return kExitDriverFailure;

    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASIOError sizeResult;
    {
        DriverCallScope scope("getBufferSize");
        sizeResult = driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
    }
    setup.frames = options.frames;
    if (setup.frames == 0) {
        if (sizeResult != ASE_OK || preferred <= 0 || preferred > 65536) {
            std::printf("error: getBufferSize returned %s with a preferred size of %ld\n",
                        errorName(sizeResult).c_str(), preferred);
            return kExitDriverFailure;
        }
        setup.frames = preferred;
    }
    {
        DriverCallScope scope("getSampleRate");
        if (driver->getSampleRate(&setup.nominalRate) != ASE_OK || !(setup.nominalRate > 0))
            setup.nominalRate = options.rate > 0 ? options.rate : 48000;
    }

    std::printf("Streaming %.1f s through \"%s\": %ld in, %ld out, %ld frames, %.0f Hz, %s ...\n",
                options.seconds, name, inputs, outputs, setup.frames, setup.nominalRate,
                typeText.c_str());
    std::fflush(stdout);

    ProbeFacts facts;
    facts.driverName = name;
    facts.frames = setup.frames;
    facts.requestedRate = options.rate;
    facts.sizesKnown = sizeResult == ASE_OK;
    facts.minFrames = minSize;
    facts.maxFrames = maxSize;
    facts.granularity = granularity;
    facts.sampleTypes = typeText;
    facts.timeInfo = options.timeInfo;
    facts.signalPossible = setup.inLeft >= 0 && setup.outLeft >= 0;

    ProbeSession session(std::move(setup));
    const ProbeRun run = session.run();
    return printProbeReport(facts, run);
}

} // namespace asiohost
