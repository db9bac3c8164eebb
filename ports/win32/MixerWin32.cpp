#include "ports/Mixer.h"

namespace {

class MixerWin32 final : public Mixer {
public:
    UINT getNumDevs() override { return mixerGetNumDevs(); }
    DWORD message(UINT mixerId, UINT msg, DWORD_PTR param1, DWORD_PTR param2) override {
        return mixerMessage(reinterpret_cast<HMIXER>(static_cast<UINT_PTR>(mixerId)), msg, param1,
                            param2);
    }
    MMRESULT getDevCaps(UINT mixerId, MIXERCAPSA* caps, UINT size) override {
        return mixerGetDevCapsA(mixerId, caps, size);
    }
    MMRESULT open(HMIXER* handle, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance,
                  DWORD flags) override {
        return mixerOpen(handle, mixerId, callback, instance, flags);
    }
    MMRESULT close(HMIXER handle) override { return mixerClose(handle); }
    MMRESULT getLineInfo(HMIXEROBJ handle, MIXERLINEA* line, DWORD flags) override {
        return mixerGetLineInfoA(handle, line, flags);
    }
    MMRESULT getLineControls(HMIXEROBJ handle, MIXERLINECONTROLSA* controls, DWORD flags) override {
        return mixerGetLineControlsA(handle, controls, flags);
    }
    MMRESULT getControlDetails(HMIXEROBJ handle, MIXERCONTROLDETAILS* details,
                               DWORD flags) override {
        return mixerGetControlDetailsA(handle, details, flags);
    }
};

} // namespace

Mixer& mixer() {
    static MixerWin32 instance;
    return instance;
}
