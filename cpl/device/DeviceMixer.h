// The Windows mixer that belongs to the device: found by its device path, opened with notices
// to the panel's window, and its line table read (destinations, their sources, every line's
// controls). Nothing is ever set.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <vector>

// A list-control item with no source behind it.
constexpr DWORD kNoSourceLine = 0xFFFFFFFF;

struct MixerControlRecord {
    HMIXER mixer = nullptr;
    MIXERCONTROLA control = {};
    DWORD channels = 0; // of the line the control belongs to
    // List-class controls: the item texts as the mixer gave them; empty otherwise.
    std::vector<MIXERCONTROLDETAILS_LISTTEXTA> listTexts;
    // List-class controls of a destination: item k's source line ID; empty otherwise.
    std::vector<DWORD> listSources;
};

struct MixerLineRecord {
    HMIXER mixer = nullptr;
    MIXERLINEA line = {};
    std::vector<MixerControlRecord> controls;
};

struct MixerDestinationRecord : MixerLineRecord {
    std::vector<MixerLineRecord> sources;
};

class CDeviceMixer {
public:
    CDeviceMixer() = default;
    ~CDeviceMixer();
    CDeviceMixer(const CDeviceMixer&) = delete;
    CDeviceMixer& operator=(const CDeviceMixer&) = delete;

    // MMSYSERR_NOERROR when the device's mixer was found and its table loaded,
    // MMSYSERR_NODRIVER when no mixer belongs to the device, else the failed destination
    // query's error (the table is then freed; the mixer stays open until CloseMixer).
    MMRESULT OpenDeviceMixer(HWND owner);
    void FreeLineTable();
    void CloseMixer();

    int DestinationCount() const { return destinationCount_; }
    const std::vector<MixerDestinationRecord>& Destinations() const { return destinations_; }
    HMIXER Handle() const { return handle_; }
    const MIXERCAPSA& Caps() const { return caps_; }

private:
    MMRESULT openFound(UINT mixerId, HWND owner);
    HMIXEROBJ object() const;
    MMRESULT loadControls(MixerLineRecord& line);
    void loadDestination(MixerDestinationRecord& destination);

    int destinationCount_ = 0;
    std::vector<MixerDestinationRecord> destinations_;
    HMIXER handle_ = nullptr;
    UINT mixerId_ = 0;
    MIXERCAPSA caps_ = {};
};
