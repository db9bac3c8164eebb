// Port: the multimedia wave functions the driver uses to find and stream the device's
// endpoints. Each operation takes and returns what the waveIn*/waveOut* call it stands for does.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class WaveEndpoints {
public:
    virtual ~WaveEndpoints() = default;

    virtual UINT outGetNumDevs() = 0;
    virtual UINT inGetNumDevs() = 0;
    // waveOutMessage / waveInMessage with the device identifier cast to a handle.
    virtual MMRESULT outMessage(UINT deviceId, UINT msg, DWORD_PTR param1, DWORD_PTR param2) = 0;
    virtual MMRESULT inMessage(UINT deviceId, UINT msg, DWORD_PTR param1, DWORD_PTR param2) = 0;
    virtual MMRESULT outGetDevCaps(UINT deviceId, WAVEOUTCAPSA* caps, UINT size) = 0;
    virtual MMRESULT inGetDevCaps(UINT deviceId, WAVEINCAPSA* caps, UINT size) = 0;

    virtual MMRESULT outOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                             DWORD_PTR callback, DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT outPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT outWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT outReset(HWAVEOUT handle) = 0;
    virtual MMRESULT outUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT outClose(HWAVEOUT handle) = 0;

    virtual MMRESULT inOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                            DWORD_PTR callback, DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT inPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT inAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT inStart(HWAVEIN handle) = 0;
    virtual MMRESULT inStop(HWAVEIN handle) = 0;
    virtual MMRESULT inReset(HWAVEIN handle) = 0;
    virtual MMRESULT inUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT inClose(HWAVEIN handle) = 0;
};

// The implementation this binary was linked with.
WaveEndpoints& waveEndpoints();
