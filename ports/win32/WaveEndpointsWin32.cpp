#include "../WaveEndpoints.h"

namespace {

class WaveEndpointsWin32 final : public WaveEndpoints {
public:
    UINT outGetNumDevs() override { return waveOutGetNumDevs(); }
    UINT inGetNumDevs() override { return waveInGetNumDevs(); }
    MMRESULT outMessage(UINT id, UINT msg, DWORD_PTR p1, DWORD_PTR p2) override {
        return waveOutMessage(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(id)), msg, p1, p2);
    }
    MMRESULT inMessage(UINT id, UINT msg, DWORD_PTR p1, DWORD_PTR p2) override {
        return waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(id)), msg, p1, p2);
    }
    MMRESULT outGetDevCaps(UINT id, WAVEOUTCAPSA* caps, UINT size) override {
        return waveOutGetDevCapsA(id, caps, size);
    }
    MMRESULT inGetDevCaps(UINT id, WAVEINCAPSA* caps, UINT size) override {
        return waveInGetDevCapsA(id, caps, size);
    }

    MMRESULT outOpen(HWAVEOUT* h, UINT id, const WAVEFORMATEX* fmt, DWORD_PTR cb, DWORD_PTR inst,
                     DWORD flags) override {
        return waveOutOpen(h, id, fmt, cb, inst, flags);
    }
    MMRESULT outPrepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return waveOutPrepareHeader(h, hdr, size);
    }
    MMRESULT outWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return waveOutWrite(h, hdr, size);
    }
    MMRESULT outReset(HWAVEOUT h) override { return waveOutReset(h); }
    MMRESULT outUnprepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return waveOutUnprepareHeader(h, hdr, size);
    }
    MMRESULT outClose(HWAVEOUT h) override { return waveOutClose(h); }

    MMRESULT inOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* fmt, DWORD_PTR cb, DWORD_PTR inst,
                    DWORD flags) override {
        return waveInOpen(h, id, fmt, cb, inst, flags);
    }
    MMRESULT inPrepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return waveInPrepareHeader(h, hdr, size);
    }
    MMRESULT inAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return waveInAddBuffer(h, hdr, size);
    }
    MMRESULT inStart(HWAVEIN h) override { return waveInStart(h); }
    MMRESULT inStop(HWAVEIN h) override { return waveInStop(h); }
    MMRESULT inReset(HWAVEIN h) override { return waveInReset(h); }
    MMRESULT inUnprepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return waveInUnprepareHeader(h, hdr, size);
    }
    MMRESULT inClose(HWAVEIN h) override { return waveInClose(h); }
};

} // namespace

WaveEndpoints& waveEndpoints() {
    static WaveEndpointsWin32 instance;
    return instance;
}
