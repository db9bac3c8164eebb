// The wave endpoints of the simulated machine: the device's wave devices as the multimedia
// functions enumerate and describe them, and their streams on the device clock.
#include "ports/WaveEndpoints.h"

#include "SharedRead.h"
#include "SimDeviceState.h"
#include "WaveMachine.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mmreg.h>

namespace {

using sim::Direction;
using sim::WaveMachine;

constexpr UINT kQueryInterface = 0x80C;     // DRV_QUERYDEVICEINTERFACE
constexpr UINT kQueryInterfaceSize = 0x80D; // DRV_QUERYDEVICEINTERFACESIZE
constexpr WORD kStereo = 2;
constexpr MMVERSION kDriverVersion = 0x0100;

UINT numDevs(Direction dir) {
    const sim::SimState* s = sim::state();
    if (sim::switchedOn(s->unplugged))
        return 0;
    const int32_t count =
        sim::sharedRead(dir == Direction::Output ? s->outDeviceCount : s->inDeviceCount);
    return static_cast<UINT>(std::clamp(count, 0, sim::kMaxWaveDevices));
}

// The device's entry of that direction, copied out of the shared state (which other processes
// may be changing) and terminated; false when there is no such device or it is unplugged.
bool deviceEntry(Direction dir, UINT id, sim::SimWaveDevice* entry) {
    const sim::SimState* s = sim::state();
    const bool output = dir == Direction::Output;
    if (id >= numDevs(dir))
        return false;
    *entry = output ? s->outDevices[id] : s->inDevices[id];
    entry->interfacePath[std::size(entry->interfacePath) - 1] = L'\0';
    entry->productName[sizeof(entry->productName) - 1] = '\0';
    return true;
}

MMRESULT message(Direction dir, UINT id, UINT msg, DWORD_PTR param1, DWORD_PTR param2) {
    sim::SimWaveDevice entry;
    if (!deviceEntry(dir, id, &entry))
        return MMSYSERR_BADDEVICEID;
    const size_t chars = std::wcslen(entry.interfacePath);
    const DWORD bytes = chars == 0 ? 0 : static_cast<DWORD>((chars + 1) * sizeof(wchar_t));
    switch (msg) {
    case kQueryInterfaceSize:
        if (param1 == 0)
            return MMSYSERR_INVALPARAM;
        *reinterpret_cast<ULONG*>(param1) = bytes;
        return MMSYSERR_NOERROR;
    case kQueryInterface: {
        if (param1 == 0)
            return MMSYSERR_INVALPARAM;
        // Never past the caller's buffer; what fits is still a terminated string.
        const size_t room = param2 / sizeof(wchar_t);
        if (room == 0)
            return bytes == 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
        wchar_t* to = reinterpret_cast<wchar_t*>(param1);
        const size_t copied = std::min(chars, room - 1);
        std::wmemcpy(to, entry.interfacePath, copied);
        to[copied] = L'\0';
        return copied == chars ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    }
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
}

template <typename Caps>
MMRESULT devCaps(Direction dir, UINT id, Caps* caps, UINT size, WORD productId) {
    sim::SimWaveDevice entry;
    if (!deviceEntry(dir, id, &entry))
        return MMSYSERR_BADDEVICEID;
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    Caps full = {};
    full.wMid = MM_MICROSOFT;
    full.wPid = productId;
    full.vDriverVersion = kDriverVersion;
    static_assert(sizeof(full.szPname) == sizeof(entry.productName));
    std::memcpy(full.szPname, entry.productName, sizeof(full.szPname)); // terminated by entry
    full.dwFormats = sim::kStandardFormats;
    full.wChannels = kStereo;
    std::memcpy(caps, &full, std::min<size_t>(size, sizeof(full)));
    return MMSYSERR_NOERROR;
}

// Nothing unwinds into the caller, which may be a driver inside a host.
template <typename Body>
MMRESULT guarded(Body body) {
    try {
        return body();
    } catch (...) {
        return MMSYSERR_NOMEM;
    }
}

HANDLE asHandle(HWAVEOUT h) {
    return reinterpret_cast<HANDLE>(h);
}
HANDLE asHandle(HWAVEIN h) {
    return reinterpret_cast<HANDLE>(h);
}

class SimWaveEndpoints final : public WaveEndpoints {
public:
    UINT outGetNumDevs() override { return numDevs(Direction::Output); }
    UINT inGetNumDevs() override { return numDevs(Direction::Input); }
    MMRESULT outMessage(UINT id, UINT msg, DWORD_PTR p1, DWORD_PTR p2) override {
        return message(Direction::Output, id, msg, p1, p2);
    }
    MMRESULT inMessage(UINT id, UINT msg, DWORD_PTR p1, DWORD_PTR p2) override {
        return message(Direction::Input, id, msg, p1, p2);
    }
    MMRESULT outGetDevCaps(UINT id, WAVEOUTCAPSA* caps, UINT size) override {
        return devCaps(Direction::Output, id, caps, size, MM_MSFT_WDMAUDIO_WAVEOUT);
    }
    MMRESULT inGetDevCaps(UINT id, WAVEINCAPSA* caps, UINT size) override {
        return devCaps(Direction::Input, id, caps, size, MM_MSFT_WDMAUDIO_WAVEIN);
    }

    MMRESULT outOpen(HWAVEOUT* h, UINT id, const WAVEFORMATEX* fmt, DWORD_PTR cb, DWORD_PTR inst,
                     DWORD flags) override {
        return guarded([&] { return open(Direction::Output, h, id, fmt, cb, inst, flags); });
    }
    MMRESULT outPrepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return guarded(
            [&] { return machine().prepare(Direction::Output, asHandle(h), hdr, size); });
    }
    MMRESULT outWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return guarded(
            [&] { return machine().enqueue(Direction::Output, asHandle(h), hdr, size); });
    }
    MMRESULT outReset(HWAVEOUT h) override {
        return guarded([&] { return machine().reset(Direction::Output, asHandle(h)); });
    }
    MMRESULT outUnprepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) override {
        return guarded(
            [&] { return machine().unprepare(Direction::Output, asHandle(h), hdr, size); });
    }
    MMRESULT outClose(HWAVEOUT h) override {
        return guarded([&] { return machine().close(Direction::Output, asHandle(h)); });
    }

    MMRESULT inOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* fmt, DWORD_PTR cb, DWORD_PTR inst,
                    DWORD flags) override {
        return guarded([&] { return open(Direction::Input, h, id, fmt, cb, inst, flags); });
    }
    MMRESULT inPrepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return guarded([&] { return machine().prepare(Direction::Input, asHandle(h), hdr, size); });
    }
    MMRESULT inAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return guarded([&] { return machine().enqueue(Direction::Input, asHandle(h), hdr, size); });
    }
    MMRESULT inStart(HWAVEIN h) override {
        return guarded([&] { return machine().start(asHandle(h)); });
    }
    MMRESULT inStop(HWAVEIN h) override {
        return guarded([&] { return machine().stop(asHandle(h)); });
    }
    MMRESULT inReset(HWAVEIN h) override {
        return guarded([&] { return machine().reset(Direction::Input, asHandle(h)); });
    }
    MMRESULT inUnprepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) override {
        return guarded(
            [&] { return machine().unprepare(Direction::Input, asHandle(h), hdr, size); });
    }
    MMRESULT inClose(HWAVEIN h) override {
        return guarded([&] { return machine().close(Direction::Input, asHandle(h)); });
    }

private:
    static WaveMachine& machine() { return WaveMachine::instance(); }

    template <typename WaveHandle>
    static MMRESULT open(Direction dir, WaveHandle* h, UINT id, const WAVEFORMATEX* fmt,
                         DWORD_PTR cb, DWORD_PTR inst, DWORD flags) {
        HANDLE opened = nullptr;
        const MMRESULT r =
            machine().open(dir, h != nullptr ? &opened : nullptr, id, fmt, cb, inst, flags);
        if (h != nullptr && (flags & WAVE_FORMAT_QUERY) == 0)
            *h = static_cast<WaveHandle>(opened);
        return r;
    }
};

} // namespace

WaveEndpoints& waveEndpoints() {
    static SimWaveEndpoints instance;
    return instance;
}
