// The "Audio CPL" page: the device's audio format per direction, chosen from a fixed list, the
// format each stream runs with, and the warning while a new choice waits for a stream to stop.
#pragma once

#include "ColorStatic.h"
#include "FormatText.h"
#include "framework/Dialog.h"

// The warning the page shows while both streams run in a format other than the one chosen; the
// main dialog also starts the message line with it.
constexpr char kBothStreamsWarning[] =
    "Stop player and recorder before new audio format setting takes effect.";

class CAudioCPLDlg;
class CUsbAudioDevice;

class CPPageACpl : public CDialog {
public:
    CPPageACpl(CAudioCPLDlg* mainDialog, CUsbAudioDevice* device);

    void ApplyConnectionState(bool connected, bool checkStreams);
    bool RefreshFromDevice();
    void EnableControls(bool enable);
    // The once-a-second refresh the main dialog's timer drives.
    void PollDevice();
    // Both status fields read "Inactive ---" (the device is away).
    void ShowStreamsInactive();

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // One direction of the page: its list, status field and indices.
    struct Direction {
        int formatList;
        int fixedBox;
        CColorStatic* status;
        bool active = false;
        int deviceIndex = 0;
        int selectedIndex = 0;
    };

    bool OnPlaybackSelection(WPARAM, LPARAM, LRESULT&);
    bool OnRecordSelection(WPARAM, LPARAM, LRESULT&);
    bool OnFixedClicked(WPARAM, LPARAM, LRESULT&);
    void SelectionChanged(Direction& direction);

    void FillList(Direction& direction);
    // Shows the entry of (bits, rate) in the list; false when it has none.
    bool SelectFormat(int listId, int bits, unsigned rate);
    int FindFormat(int listId, int bits, unsigned rate) const;
    int CurrentSelection(int listId) const;
    // The list's current entry as (bits, rate); false when it does not parse.
    bool ChosenFormat(const Direction& direction, int& bits, unsigned& rate) const;
    // Both lists' choices as a format record; false when a list's text is no entry.
    bool RecordOfLists(DeviceFormatRecord& record) const;
    bool ReadChosenFormats(DeviceFormatRecord& record);
    // The device's formats could not be read: the lists show none, the page is inactive and
    // the message line says why.
    void ShowFormatUnread();
    void ApplySelection();
    void ShowStatus(Direction& direction, bool active, int bits, unsigned rate);
    void UpdateDeviceIndex(Direction& direction, bool fixed, int bits, unsigned rate);
    void ShowStatusRows(bool show);

    CAudioCPLDlg* m_mainDialog;
    CUsbAudioDevice* m_device;
    bool m_choicePending = false;
    bool m_statusShown = false;
    // The last read of the device's formats failed.
    bool m_formatUnread = false;
    // The last choice sent was not taken.
    bool m_setFailed = false;
    CColorStatic m_playStatus;
    CColorStatic m_recStatus;
    Direction m_playback;
    Direction m_record;

    static const MessageEntry<CPPageACpl> kMessageMap[];
};
