// The mixers of the simulated machine. The Quenvora-K9's mixer has a speaker destination with
// one source, a four-channel recording destination whose selector lists one item more than it
// has sources, and a monitor destination with neither sources nor controls. Other mixers have
// one speaker line.
#include "ports/Mixer.h"

#include "HandleTable.h"
#include "SharedRead.h"
#include "SimDeviceState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

struct ControlShape {
    DWORD type;
    DWORD items; // list controls
    bool uniform;
    const char* name;
};

struct LineShape {
    DWORD component;
    DWORD channels;
    const char* name;
    std::vector<ControlShape> controls;
};

struct DestinationShape {
    LineShape line;
    std::vector<LineShape> sources;
};

const ControlShape kVolume{MIXERCONTROL_CONTROLTYPE_VOLUME, 0, true, "Volume"};
const ControlShape kMute{MIXERCONTROL_CONTROLTYPE_MUTE, 0, true, "Mute"};
const ControlShape kSelector{MIXERCONTROL_CONTROLTYPE_MUX, 3, false, "Recording Source"};

const std::vector<DestinationShape>& deviceTable() {
    static const std::vector<DestinationShape> table = {
        {{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 2, "Speakers", {kVolume, kMute}},
         {{MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, 2, "Wave", {kVolume}}}},
        {{MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 4, "Recording", {kSelector}},
         {{MIXERLINE_COMPONENTTYPE_SRC_LINE, 2, "Line", {kVolume}},
          {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 1, "Microphone", {}}}},
        {{MIXERLINE_COMPONENTTYPE_DST_MONITOR, 2, "Monitor", {}}, {}},
    };
    return table;
}

const std::vector<DestinationShape>& otherTable() {
    static const std::vector<DestinationShape> table = {
        {{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 2, "Speakers", {kVolume}}, {}},
    };
    return table;
}

constexpr DWORD kObjectTypeMask = 0xF0000000; // MIXER_OBJECTF_* kinds

// Line IDs: destination d is 0xFFFF0000 + d, source s of it (d + 1) << 8 | s.
DWORD destinationId(DWORD d) {
    return 0xFFFF0000 + d;
}
DWORD sourceId(DWORD d, DWORD s) {
    return ((d + 1) << 8) | s;
}
// Control IDs: the line ID's low 16 bits times 16 plus the control's index.
DWORD controlId(DWORD lineId, DWORD index) {
    return ((lineId & 0xFFFF) << 4) | index;
}

struct OpenMixer {
    UINT id;
};

sim::HandleTable<OpenMixer>& handles() {
    return sim::HandleTable<OpenMixer>::instance();
}

UINT mixerCount() {
    return static_cast<UINT>(
        std::clamp(sim::sharedRead(sim::state()->mixerCount), 0, sim::kMaxMixers));
}

const sim::SimMixerDevice* device(UINT id) {
    return id < mixerCount() ? &sim::state()->mixers[id] : nullptr;
}

const std::vector<DestinationShape>& tableOf(UINT id) {
    return device(id)->ofDevice != 0 ? deviceTable() : otherTable();
}

// The mixer an object names: a handle or an identifier, as the flags say.
bool resolve(HMIXEROBJ object, DWORD flags, UINT* id) {
    if ((flags & kObjectTypeMask) == MIXER_OBJECTF_HMIXER) {
        OpenMixer open = {};
        if (!handles().copy(object, &open))
            return false;
        *id = open.id;
        return true;
    }
    if ((flags & kObjectTypeMask) != MIXER_OBJECTF_MIXER)
        return false;
    *id = static_cast<UINT>(reinterpret_cast<UINT_PTR>(object));
    return device(*id) != nullptr;
}

void fillLine(MIXERLINEA* out, const LineShape& shape, DWORD d, DWORD s, bool source,
              DWORD connections) {
    const DWORD cb = out->cbStruct;
    std::memset(out, 0, sizeof(MIXERLINEA));
    out->cbStruct = cb;
    out->dwDestination = d;
    out->dwSource = source ? s : 0;
    out->dwLineID = source ? sourceId(d, s) : destinationId(d);
    out->fdwLine = MIXERLINE_LINEF_ACTIVE | (source ? MIXERLINE_LINEF_SOURCE : 0);
    out->dwComponentType = shape.component;
    out->cChannels = shape.channels;
    out->cConnections = connections;
    out->cControls = static_cast<DWORD>(shape.controls.size());
    std::snprintf(out->szShortName, sizeof(out->szShortName), "%s", shape.name);
    std::snprintf(out->szName, sizeof(out->szName), "%s", shape.name);
}

// The line with this ID in a mixer's table; null when there is none.
const LineShape* lineById(UINT id, DWORD lineId, const DestinationShape** owner) {
    const auto& table = tableOf(id);
    for (DWORD d = 0; d < table.size(); ++d) {
        *owner = &table[d];
        if (destinationId(d) == lineId)
            return &table[d].line;
        for (DWORD s = 0; s < table[d].sources.size(); ++s) {
            if (sourceId(d, s) == lineId)
                return &table[d].sources[s];
        }
    }
    return nullptr;
}

class SimMixer final : public Mixer {
public:
    UINT getNumDevs() override {
        return sim::switchedOn(sim::state()->unplugged) ? 0 : mixerCount();
    }

    DWORD message(UINT id, UINT msg, DWORD_PTR param1, DWORD_PTR param2) override {
        const sim::SimMixerDevice* d = device(id);
        if (d == nullptr)
            return MMSYSERR_BADDEVICEID;
        wchar_t path[160];
        std::memcpy(path, d->interfacePath, sizeof(path));
        path[159] = L'\0';
        const DWORD bytes =
            path[0] == L'\0' ? 0 : static_cast<DWORD>((std::wcslen(path) + 1) * sizeof(wchar_t));
        if (msg == 0x080D) { // DRV_QUERYDEVICEINTERFACESIZE
            if (param1 == 0)
                return MMSYSERR_INVALPARAM;
            *reinterpret_cast<DWORD*>(param1) = bytes;
            return MMSYSERR_NOERROR;
        }
        if (msg == 0x080C) { // DRV_QUERYDEVICEINTERFACE
            if (param1 == 0 || bytes == 0 || param2 < bytes)
                return MMSYSERR_INVALPARAM;
            std::memcpy(reinterpret_cast<void*>(param1), path, bytes);
            return MMSYSERR_NOERROR;
        }
        return MMSYSERR_NOTSUPPORTED;
    }

    MMRESULT getDevCaps(UINT id, MIXERCAPSA* caps, UINT size) override {
        const sim::SimMixerDevice* d = device(id);
        if (d == nullptr)
            return MMSYSERR_BADDEVICEID;
        if (caps == nullptr || size < sizeof(MIXERCAPSA))
            return MMSYSERR_INVALPARAM;
        std::memset(caps, 0, sizeof(MIXERCAPSA));
        caps->wMid = 1;
        caps->wPid = 1;
        std::snprintf(caps->szPname, sizeof(caps->szPname), "%.31s", d->name);
        caps->cDestinations = static_cast<DWORD>(tableOf(id).size());
        return MMSYSERR_NOERROR;
    }

    MMRESULT open(HMIXER* handle, UINT id, DWORD_PTR, DWORD_PTR, DWORD) override {
        if (handle == nullptr)
            return MMSYSERR_INVALPARAM;
        *handle = nullptr;
        if (device(id) == nullptr || sim::switchedOn(sim::state()->unplugged))
            return MMSYSERR_BADDEVICEID;
        try {
            *handle =
                static_cast<HMIXER>(handles().add(std::make_unique<OpenMixer>(OpenMixer{id})));
        } catch (...) {
            return MMSYSERR_NOMEM;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT close(HMIXER handle) override {
        return handles().take(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    }

    MMRESULT getLineInfo(HMIXEROBJ object, MIXERLINEA* line, DWORD flags) override {
        UINT id = 0;
        if (!resolve(object, flags, &id))
            return MMSYSERR_INVALHANDLE;
        if (line == nullptr || line->cbStruct < sizeof(MIXERLINEA))
            return MMSYSERR_INVALPARAM;
        const auto& table = tableOf(id);
        const DWORD d = line->dwDestination;
        if (d >= table.size())
            return MIXERR_INVALLINE;
        switch (flags & MIXER_GETLINEINFOF_QUERYMASK) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (d == 1 && sim::switchedOn(device(id)->destinationQueryFails))
                return MMSYSERR_ERROR;
            fillLine(line, table[d].line, d, 0, false, static_cast<DWORD>(table[d].sources.size()));
            return MMSYSERR_NOERROR;
        case MIXER_GETLINEINFOF_SOURCE: {
            const DWORD s = line->dwSource;
            if (s >= table[d].sources.size())
                return MIXERR_INVALLINE;
            fillLine(line, table[d].sources[s], d, s, true, 0);
            return MMSYSERR_NOERROR;
        }
        default:
            return MMSYSERR_NOTSUPPORTED;
        }
    }

    MMRESULT getLineControls(HMIXEROBJ object, MIXERLINECONTROLSA* query, DWORD flags) override {
        UINT id = 0;
        if (!resolve(object, flags, &id))
            return MMSYSERR_INVALHANDLE;
        if (query == nullptr || query->pamxctrl == nullptr ||
            query->cbmxctrl != sizeof(MIXERCONTROLA) ||
            (flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ALL)
            return MMSYSERR_INVALPARAM;
        const DestinationShape* owner = nullptr;
        const LineShape* line = lineById(id, query->dwLineID, &owner);
        if (line == nullptr)
            return MIXERR_INVALLINE;
        if (query->cControls != line->controls.size())
            return MMSYSERR_INVALPARAM;
        for (DWORD i = 0; i < line->controls.size(); ++i) {
            const ControlShape& shape = line->controls[i];
            MIXERCONTROLA& c = query->pamxctrl[i];
            std::memset(&c, 0, sizeof(c));
            c.cbStruct = sizeof(c);
            c.dwControlID = controlId(query->dwLineID, i);
            c.dwControlType = shape.type;
            c.fdwControl = (shape.uniform ? MIXERCONTROL_CONTROLF_UNIFORM : 0) |
                           (shape.items != 0 ? MIXERCONTROL_CONTROLF_MULTIPLE : 0);
            c.cMultipleItems = shape.items;
            std::snprintf(c.szShortName, sizeof(c.szShortName), "%.15s", shape.name);
            std::snprintf(c.szName, sizeof(c.szName), "%s", shape.name);
            c.Bounds.dwMaximum = shape.items != 0 ? shape.items - 1 : 0xFFFF;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT getControlDetails(HMIXEROBJ object, MIXERCONTROLDETAILS* details,
                               DWORD flags) override {
        UINT id = 0;
        if (!resolve(object, flags, &id))
            return MMSYSERR_INVALHANDLE;
        if (details == nullptr || details->paDetails == nullptr ||
            (flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) != MIXER_GETCONTROLDETAILSF_LISTTEXT ||
            details->cbDetails != sizeof(MIXERCONTROLDETAILS_LISTTEXTA))
            return MMSYSERR_INVALPARAM;
        // Find the control: its line is in the ID's upper bits.
        const auto& table = tableOf(id);
        for (DWORD d = 0; d < table.size(); ++d) {
            const ControlShape* shape = nullptr;
            DWORD lineId = destinationId(d);
            for (DWORD i = 0; i < table[d].line.controls.size(); ++i) {
                if (controlId(lineId, i) == details->dwControlID)
                    shape = &table[d].line.controls[i];
            }
            if (shape == nullptr || shape->items == 0)
                continue;
            if (details->cMultipleItems != shape->items || details->cChannels == 0)
                return MMSYSERR_INVALPARAM;
            // A non-uniform list has one text per item and channel.
            const DWORD channels = shape->uniform ? 1 : details->cChannels;
            auto* texts = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(details->paDetails);
            for (DWORD c = 0; c < channels; ++c) {
                for (DWORD k = 0; k < shape->items; ++k) {
                    MIXERCONTROLDETAILS_LISTTEXTA& t = texts[c * shape->items + k];
                    std::memset(&t, 0, sizeof(t));
                    const bool named = k < table[d].sources.size();
                    t.dwParam1 = named ? sourceId(d, k) : 0;
                    std::snprintf(t.szName, sizeof(t.szName), "%s",
                                  named ? table[d].sources[k].name : "Stereo Mix");
                }
            }
            return MMSYSERR_NOERROR;
        }
        return MIXERR_INVALCONTROL;
    }
};

} // namespace

Mixer& mixer() {
    static SimMixer instance;
    return instance;
}
