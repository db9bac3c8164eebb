#include "DeviceMixer.h"

#include "UsbAudioDevice.h"

#include "ports/Mixer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr UINT kQueryDeviceInterfaceSize = 0x080D; // DRV_QUERYDEVICEINTERFACESIZE
constexpr UINT kQueryDeviceInterface = 0x080C;     // DRV_QUERYDEVICEINTERFACE
constexpr DWORD kListClass = 0x70000000;           // MIXERCONTROL_CT_CLASS_LIST
constexpr DWORD kClassMask = 0xF0000000;

bool isList(const MIXERCONTROLA& control) {
    return (control.dwControlType & kClassMask) == kListClass;
}

// The mixer's device path names the Quenvora-K9's audio function.
bool belongsToDevice(UINT mixerId, MIXERCAPSA* caps) {
    Mixer& mx = mixer();
    DWORD size = 0;
    if (mx.message(mixerId, kQueryDeviceInterfaceSize, reinterpret_cast<DWORD_PTR>(&size), 0) !=
            MMSYSERR_NOERROR ||
        size == 0)
        return false;
    const size_t chars = size / sizeof(wchar_t);
    std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[chars + 1]());
    if (!path || mx.message(mixerId, kQueryDeviceInterface, reinterpret_cast<DWORD_PTR>(path.get()),
                            size) != MMSYSERR_NOERROR)
        return false;
    path[chars] = L'\0'; // whatever the driver wrote, the text ends inside the buffer
    const int ansiSize =
        WideCharToMultiByte(CP_ACP, 0, path.get(), -1, nullptr, 0, nullptr, nullptr);
    if (ansiSize <= 0)
        return false;
    std::string ansi(static_cast<size_t>(ansiSize), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.get(), -1, ansi.data(), ansiSize, nullptr, nullptr);
    WORD vid = 0;
    WORD pid = 0;
    WORD mi = 0;
    return CUsbAudioDevice::ParseVidPidMi(ansi.data(), &vid, &pid, &mi) && vid == kDeviceVendorId &&
           pid == kDeviceProductId && mi == kDeviceInterface &&
           mx.getDevCaps(mixerId, caps, sizeof(MIXERCAPSA)) == MMSYSERR_NOERROR;
}

} // namespace

CDeviceMixer::~CDeviceMixer() {
    FreeLineTable();
    CloseMixer();
}

void CDeviceMixer::FreeLineTable() {
    destinations_.clear();
    destinations_.shrink_to_fit();
}

void CDeviceMixer::CloseMixer() {
    if (handle_ != nullptr)
        mixer().close(handle_);
    handle_ = nullptr;
}

HMIXEROBJ CDeviceMixer::object() const {
    return handle_ != nullptr ? reinterpret_cast<HMIXEROBJ>(handle_)
                              : reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(mixerId_));
}

MMRESULT CDeviceMixer::OpenDeviceMixer(HWND owner) {
    try {
        const UINT count = mixer().getNumDevs();
        for (UINT id = 0; id < count; ++id) {
            MIXERCAPSA caps = {};
            if (belongsToDevice(id, &caps)) {
                caps_ = caps;
                return openFound(id, owner);
            }
        }
        return MMSYSERR_NODRIVER;
    } catch (...) {
        FreeLineTable();
        return MMSYSERR_NOMEM;
    }
}

MMRESULT CDeviceMixer::openFound(UINT mixerId, HWND owner) {
    FreeLineTable();
    destinationCount_ = static_cast<int>(caps_.cDestinations);
    destinations_.resize(caps_.cDestinations);
    CloseMixer(); // a second open replaces the first
    mixerId_ = mixerId;
    HMIXER opened = nullptr;
    // Line and control changes go to the owner window; whether the open worked decides nothing.
    if (mixer().open(&opened, mixerId, reinterpret_cast<DWORD_PTR>(owner), 0, CALLBACK_WINDOW) ==
        MMSYSERR_NOERROR)
        handle_ = opened;
    const DWORD objectFlag = handle_ != nullptr ? MIXER_OBJECTF_HMIXER : MIXER_OBJECTF_MIXER;
    for (int d = 0; d < destinationCount_; ++d) {
        MIXERLINEA line = {};
        line.cbStruct = sizeof(MIXERLINEA);
        line.dwDestination = static_cast<DWORD>(d);
        const MMRESULT r =
            mixer().getLineInfo(object(), &line, MIXER_GETLINEINFOF_DESTINATION | objectFlag);
        if (r != MMSYSERR_NOERROR) {
            FreeLineTable();
            return r;
        }
        destinations_[d].line = line;
        loadDestination(destinations_[d]);
    }
    return MMSYSERR_NOERROR;
}

void CDeviceMixer::loadDestination(MixerDestinationRecord& destination) {
    destination.mixer = handle_;
    if (loadControls(destination) != MMSYSERR_NOERROR)
        return;
    const DWORD objectFlag = handle_ != nullptr ? MIXER_OBJECTF_HMIXER : MIXER_OBJECTF_MIXER;
    destination.sources.resize(destination.line.cConnections);
    for (DWORD s = 0; s < destination.line.cConnections; ++s) {
        MixerLineRecord& source = destination.sources[s];
        source.mixer = handle_;
        source.line.cbStruct = sizeof(MIXERLINEA);
        source.line.dwDestination = destination.line.dwDestination;
        source.line.dwSource = s;
        if (mixer().getLineInfo(object(), &source.line, MIXER_GETLINEINFOF_SOURCE | objectFlag) !=
                MMSYSERR_NOERROR ||
            loadControls(source) != MMSYSERR_NOERROR) {
            destination.sources.clear();
            return;
        }
    }
    // Item k of a destination's list stands for source k; items beyond the last source have
    // no source to name.
    for (MixerControlRecord& control : destination.controls) {
        if (!isList(control.control))
            continue;
        control.listSources.assign(control.control.cMultipleItems, kNoSourceLine);
        const size_t named =
            std::min<size_t>(control.listSources.size(), destination.sources.size());
        for (size_t k = 0; k < named; ++k)
            control.listSources[k] = destination.sources[k].line.dwLineID;
    }
}

MMRESULT CDeviceMixer::loadControls(MixerLineRecord& line) {
    line.controls.clear();
    const DWORD count = line.line.cControls;
    if (count == 0)
        return MMSYSERR_NOERROR;
    const DWORD objectFlag = handle_ != nullptr ? MIXER_OBJECTF_HMIXER : MIXER_OBJECTF_MIXER;
    std::vector<MIXERCONTROLA> controls(count);
    MIXERLINECONTROLSA query = {};
    query.cbStruct = sizeof(query);
    query.dwLineID = line.line.dwLineID;
    query.cControls = count;
    query.cbmxctrl = sizeof(MIXERCONTROLA);
    query.pamxctrl = controls.data();
    if (const MMRESULT r =
            mixer().getLineControls(object(), &query, MIXER_GETLINECONTROLSF_ALL | objectFlag);
        r != MMSYSERR_NOERROR)
        return r;

    const DWORD channels = line.line.cChannels;
    line.controls.resize(count);
    for (DWORD i = 0; i < count; ++i) {
        MixerControlRecord& record = line.controls[i];
        record.mixer = handle_;
        record.control = controls[i];
        record.channels = channels;
        if (!isList(record.control))
            continue;
        // One text per item and channel for a non-uniform list: room for every channel.
        const DWORD items = record.control.cMultipleItems;
        record.listTexts.assign(static_cast<size_t>(items) * std::max<DWORD>(channels, 2),
                                MIXERCONTROLDETAILS_LISTTEXTA{});
        MIXERCONTROLDETAILS details = {};
        details.cbStruct = sizeof(details);
        details.dwControlID = record.control.dwControlID;
        details.cChannels = channels;
        details.cMultipleItems = items;
        details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
        details.paDetails = record.listTexts.data();
        const MMRESULT r = mixer().getControlDetails(
            object(), &details, MIXER_GETCONTROLDETAILSF_LISTTEXT | objectFlag);
        if (r != MMSYSERR_NOERROR && channels >= 2)
            return r;
    }
    return MMSYSERR_NOERROR;
}
