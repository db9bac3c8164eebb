// The streaming engine: moves audio between the host's double buffers and the device's wave
// endpoints, drives the host's buffer switches, and watches the shared block's reset request.
#pragma once

#include "EndpointRing.h"
#include "EngineThread.h"
#include "common/CriticalSection.h"
#include "common/UniqueResource.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

class AsioSample;

// Process-wide: one driver object per host process.
struct EngineState {
    // Held by every call that opens, streams, stops or ends: hosts make them from several
    // threads at once (a callback that stops the stream while the main thread stops or
    // releases), and each must find the last one finished, endpoints closed, before it goes on.
    // Nobody holding it waits without end for a driver thread inside the host: such a thread
    // is let go.
    CriticalSection lifecycle;
    UniqueHandle outRingMappings[kEndpointSlots];
    UniqueHandle inRingMappings[kEndpointSlots];
    UniqueView outRingViews[kEndpointSlots];
    UniqueView inRingViews[kEndpointSlots];
    // This process's claim on each ring it holds (see Discovery.cpp).
    UniqueHandle outRingClaims[kEndpointSlots];
    UniqueHandle inRingClaims[kEndpointSlots];
    WAVEHDR outHeaders[kEndpointSlots][kHeadersPerSlot] = {};
    WAVEHDR inHeaders[kEndpointSlots][kHeadersPerSlot] = {};

    std::atomic<bool> stopping{false}; // while set, wave completions change nothing
    // Set by every completion, so that the streaming thread passes a block on as soon as the
    // device has finished it instead of at its next poll.
    UniqueHandle blockDone{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<int> completionsRunning{0};
    // Threads closing endpoints; one that outlived its wait is held by a device that did not
    // return from a call.
    std::atomic<int> closingThreads{0};
    // The driver object whose init took the device. The rings, headers and threads above are
    // the process's only ones: a second object in the same host must not touch them.
    std::atomic<AsioSample*> deviceOwner{nullptr};

    // The sample width the open stream was opened with; the driver's own width may change
    // under a running stream, the device's format does not.
    int streamWidth = 0;
    bool timerPeriodHeld = false;

    EngineThread stream;
    EngineThread monitor;

    EndpointRing* outRing(int slot) const {
        return static_cast<EndpointRing*>(outRingViews[slot].get());
    }
    EndpointRing* inRing(int slot) const {
        return static_cast<EndpointRing*>(inRingViews[slot].get());
    }
};

EngineState& engine();

inline bool ownsDevice(const AsioSample& driver) {
    return engine().deviceOwner.load() == &driver;
}

// Opens the endpoints in use, primes the outputs and starts the streaming thread. On failure
// everything opened is closed again and false is returned.
bool startStreaming(AsioSample& driver);
// Ends the streaming thread, closes the open endpoints and zeroes the rings.
void stopStreaming(AsioSample& driver);
// Ends the streaming thread if one is left (a failed init).
void stopStreamThread();

// The latencies the driver's own queueing gives a buffer set of `frames` per half, whichever
// queue paces the stream; the device's converters and loop come on top.
int queuedInputLatency(int frames);
int queuedOutputLatency(int frames);

void startMonitor(AsioSample& driver);
void stopMonitor(AsioSample& driver);

// Wave completion procedures (CALLBACK_FUNCTION).
void CALLBACK outputDone(HWAVEOUT handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2);
void CALLBACK inputDone(HWAVEIN handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1,
                        DWORD_PTR param2);

// Closes an open endpoint: output reset, unprepare its eight headers, close. False when the
// device kept it: its headers may still point into the slot's ring.
bool closeOutputEndpoint(AsioSample& driver, int slot);
bool closeOutputHandle(HWAVEOUT handle, int slot);
// Input stop, reset, unprepare its eight headers, close; false when the device kept it.
bool closeInputEndpoint(AsioSample& driver, int slot);
bool closeInputHandle(HWAVEIN handle, int slot);
