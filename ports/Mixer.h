// Port: the Windows mixer functions (mixer*), read only.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class Mixer {
public:
    virtual ~Mixer() = default;

    virtual UINT getNumDevs() = 0;
    // mixerMessage with a mixer identifier, for the driver messages of the device path.
    virtual DWORD message(UINT mixerId, UINT msg, DWORD_PTR param1, DWORD_PTR param2) = 0;
    virtual MMRESULT getDevCaps(UINT mixerId, MIXERCAPSA* caps, UINT size) = 0;
    virtual MMRESULT open(HMIXER* mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance,
                          DWORD flags) = 0;
    virtual MMRESULT close(HMIXER mixer) = 0;
    virtual MMRESULT getLineInfo(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags) = 0;
    virtual MMRESULT getLineControls(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls,
                                     DWORD flags) = 0;
    virtual MMRESULT getControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details,
                                       DWORD flags) = 0;
};

Mixer& mixer();
