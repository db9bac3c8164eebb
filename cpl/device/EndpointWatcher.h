// The Windows audio endpoint API as the device object needs it: the active endpoints of each
// data flow, their count, the identifier of one and a text property of one.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

constexpr int kEndpointTextChars = 260;

// Property selectors of GetEndpointProperty.
constexpr int kEndpointFriendlyName = 0;
constexpr int kEndpointDeviceDesc = 1;
constexpr int kEndpointHostDevice = 3; // the text carrying the USB identity

constexpr wchar_t kDeviceNotAvailable[] = L"<Device not available>";

class CEndpointWatcher {
public:
    // Initialises COM on this thread (multithreaded) and creates the device enumerator.
    CEndpointWatcher();
    ~CEndpointWatcher();
    CEndpointWatcher(const CEndpointWatcher&) = delete;
    CEndpointWatcher& operator=(const CEndpointWatcher&) = delete;

    bool HasEnumerator() const { return enumerator_ != nullptr; }

    // Flow 0 render, any other value capture.
    void EnumerateEndpoints(int flow);
    int GetEndpointCount(int flow) const;
    // False, with id or text as the failed step left them, when the flow has no list or the
    // endpoint cannot be had (it may have vanished since it was counted).
    bool GetEndpointId(int flow, int index, wchar_t (&id)[kEndpointTextChars]);
    // Text properties come as UTF-16 strings or as raw bytes (at most 260, not terminated).
    bool GetEndpointProperty(int flow, int index, int selector,
                             wchar_t (&text)[kEndpointTextChars]);

private:
    IMMDeviceCollection* listOf(int flow) const;

    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDeviceCollection* render_ = nullptr;
    IMMDeviceCollection* capture_ = nullptr;
};
