// Port: the audio endpoint enumerator (CoCreateInstance of CLSID_MMDeviceEnumerator). What it
// gives is used through the endpoint API's own interfaces: collections, devices, property stores.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

class AudioEndpoints {
public:
    virtual ~AudioEndpoints() = default;

    virtual HRESULT createEnumerator(IMMDeviceEnumerator** enumerator) = 0;
};

AudioEndpoints& audioEndpoints();
