#include "PPageACpl.h"

#include "AudioCPLDlg.h"
#include "Resource.h"
#include "cpl/device/UsbAudioDevice.h"

namespace {

constexpr COLORREF kDarkBlue = 0x7F0000;
constexpr COLORREF kSilver = 0xC0C0C0;
constexpr COLORREF kBlack = 0x000000;

constexpr char kPlayerWarning[] = "Stop player before new audio format setting takes effect.";
constexpr char kRecorderWarning[] = "Stop recorder before new audio format setting takes effect.";
// What the page says instead of a format it could not read or a choice the device did not take.
constexpr char kFormatUnreadText[] = "Audio format of the device cannot be read.";
constexpr char kFormatNotSetText[] = "New audio format could not be set on the device.";

// The status rows appear only where the device tells its streams (the topology filter).
constexpr int kStatusRowIds[] = {IDC_PLAY_STATUS_LABEL, IDC_PLAY_STATUS, IDC_REC_STATUS_LABEL,
                                 IDC_REC_STATUS};

} // namespace

const MessageEntry<CPPageACpl> CPPageACpl::kMessageMap[] = {
    OnCommandRow(CBN_SELCHANGE, IDC_PLAY_FORMAT, &CPPageACpl::OnPlaybackSelection),
    OnCommandRow(CBN_SELCHANGE, IDC_REC_FORMAT, &CPPageACpl::OnRecordSelection),
    OnCommandRow(BN_CLICKED, IDC_PLAY_FIXED, &CPPageACpl::OnFixedClicked),
    OnCommandRow(BN_CLICKED, IDC_REC_FIXED, &CPPageACpl::OnFixedClicked),
};

CPPageACpl::CPPageACpl(CAudioCPLDlg* mainDialog, CUsbAudioDevice* device)
    : CDialog(IDD_PAGE_FORMAT, mainDialog), m_mainDialog(mainDialog), m_device(device) {
    m_playback.formatList = IDC_PLAY_FORMAT;
    m_playback.fixedBox = IDC_PLAY_FIXED;
    m_playback.status = &m_playStatus;
    m_record.formatList = IDC_REC_FORMAT;
    m_record.fixedBox = IDC_REC_FIXED;
    m_record.status = &m_recStatus;
}

bool CPPageACpl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchMessageTable(*this, kMessageMap, message, wParam, lParam, result) ||
           CDialog::OnMessage(message, wParam, lParam, result);
}

void CPPageACpl::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_PLAY_STATUS, m_playStatus);
    DDX_Control(exchange, IDC_REC_STATUS, m_recStatus);
}

BOOL CPPageACpl::OnInitDialog() {
    CDialog::OnInitDialog();
    m_statusShown = false;
    FillList(m_playback);
    FillList(m_record);
    EnableControls(false);
    m_choicePending = false;
    return TRUE;
}

void CPPageACpl::FillList(Direction& direction) {
    HWND list = GetDlgItem(direction.formatList);
    if (m_device != nullptr && !m_device->UsesEndpointPath())
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kAutoFormatText));
    if (m_device != nullptr) {
        for (const FormatRow& row : kFormatRows) {
            char text[64];
            FormatText(row.bits, row.rate, text, sizeof(text));
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
    }
    SendMessageA(list, CB_SETCURSEL, 1, 0);
    SetWindowTextA(direction.status->m_hWnd, kInactiveText);
}

void CPPageACpl::EnableControls(bool enable) {
    // Nothing to choose from while the device's formats are unread.
    enable = enable && !m_formatUnread;
    if (!enable)
        m_setFailed = false; // the device is away or unread: a new start when it answers
    const int playPairs[][2] = {{IDC_PLAY_GROUP, IDC_PLAY_FIXED},
                                {IDC_PLAY_FORMAT_LABEL, IDC_PLAY_FORMAT},
                                {IDC_PLAY_STATUS_LABEL, IDC_PLAY_STATUS}};
    const int recPairs[][2] = {{IDC_REC_GROUP, IDC_REC_FIXED},
                               {IDC_REC_FORMAT_LABEL, IDC_REC_FORMAT},
                               {IDC_REC_STATUS_LABEL, IDC_REC_STATUS}};
    for (const auto& pair : playPairs) {
        EnableWindow(GetDlgItem(pair[0]), enable);
        EnableWindow(GetDlgItem(pair[1]), enable);
    }
    if (!enable)
        m_playStatus.SetTextColorAndRedraw(kBlack);
    for (const auto& pair : recPairs) {
        EnableWindow(GetDlgItem(pair[0]), enable);
        EnableWindow(GetDlgItem(pair[1]), enable);
    }
    if (!enable)
        m_recStatus.SetTextColorAndRedraw(kBlack);
}

void CPPageACpl::ShowStreamsInactive() {
    SetWindowTextA(m_playStatus.m_hWnd, kInactiveText);
    SetWindowTextA(m_recStatus.m_hWnd, kInactiveText);
}

int CPPageACpl::CurrentSelection(int listId) const {
    return static_cast<int>(SendMessageA(GetDlgItem(listId), CB_GETCURSEL, 0, 0));
}

int CPPageACpl::FindFormat(int listId, int bits, unsigned rate) const {
    char text[64];
    FormatText(bits, rate, text, sizeof(text));
    // From entry 0 on, so that every entry is searched and entry 0 comes last.
    return static_cast<int>(
        SendMessageA(GetDlgItem(listId), CB_FINDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

bool CPPageACpl::SelectFormat(int listId, int bits, unsigned rate) {
    const int found = FindFormat(listId, bits, rate);
    if (found == CB_ERR)
        return false;
    // Against what the list shows: before the first read it shows an entry nobody chose, and
    // while the formats are unread none at all.
    if (found != CurrentSelection(listId))
        SendMessageA(GetDlgItem(listId), CB_SETCURSEL, found, 0);
    return true;
}

bool CPPageACpl::ChosenFormat(const Direction& direction, int& bits, unsigned& rate) const {
    HWND list = GetDlgItem(direction.formatList);
    int index = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    // A list that shows nothing (the device's formats were not read) stands for the entry it
    // showed last, so that the next read expects what it would have.
    if (index == CB_ERR)
        index = direction.selectedIndex;
    if (index < 0)
        return false;
    const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length >= 64)
        return false;
    char text[64] = {};
    SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return ParseFormatText(text, bits, rate);
}

bool CPPageACpl::RecordOfLists(DeviceFormatRecord& record) const {
    record = {};
    record.size = sizeof(DeviceFormatRecord);
    int bits = 0;
    unsigned rate = 0;
    if (!ChosenFormat(m_playback, bits, rate))
        return false;
    record.playbackBits = static_cast<uint8_t>(bits);
    record.playbackRate = rate;
    record.playbackFixed = (bits != 0 || rate != 0) ? 1 : 0; // "Auto" gives 0
    if (!ChosenFormat(m_record, bits, rate))
        return false;
    record.recordBits = static_cast<uint8_t>(bits);
    record.recordRate = rate;
    record.recordFixed = (bits != 0 || rate != 0) ? 1 : 0;
    return true;
}

bool CPPageACpl::ReadChosenFormats(DeviceFormatRecord& record) {
    if (m_device == nullptr || !RecordOfLists(record))
        return false;
    record.playbackFixed = 1;
    record.recordFixed = 1;
    return m_device->AccessFormat(true, &record);
}

bool CPPageACpl::RefreshFromDevice() {
    DeviceFormatRecord record;
    if (!ReadChosenFormats(record)) {
        ShowFormatUnread();
        return false;
    }
    if (m_formatUnread) {
        m_formatUnread = false;
        EnableControls(true);
    }
    struct Side {
        Direction& direction;
        uint8_t fixed;
        int bits;
        unsigned rate;
    };
    Side sides[] = {{m_playback, record.playbackFixed, record.playbackBits, record.playbackRate},
                    {m_record, record.recordFixed, record.recordBits, record.recordRate}};
    for (Side& side : sides) {
        Direction& d = side.direction;
        CheckDlgButton(m_hWnd, d.fixedBox, side.fixed == 1 ? BST_CHECKED : BST_UNCHECKED);
        if (side.fixed == 1) {
            if (!SelectFormat(d.formatList, side.bits, side.rate))
                return false;
        } else if (CurrentSelection(d.formatList) != 0) {
            SendMessageA(GetDlgItem(d.formatList), CB_SETCURSEL, 0, 0);
        }
        d.deviceIndex = d.selectedIndex = CurrentSelection(d.formatList);
    }
    return true;
}

void CPPageACpl::ShowFormatUnread() {
    if (!m_formatUnread) {
        for (Direction* d : {&m_playback, &m_record}) {
            const int shown = CurrentSelection(d->formatList);
            if (shown != CB_ERR)
                d->selectedIndex = shown;
            SendMessageA(GetDlgItem(d->formatList), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        }
    }
    m_formatUnread = true;
    EnableControls(false);
    m_mainDialog->ShowMessageLine(kFormatUnreadText, true);
}

void CPPageACpl::ApplyConnectionState(bool connected, bool checkStreams) {
    if (!connected) {
        ShowStreamsInactive();
        EnableControls(false);
        return;
    }
    RefreshFromDevice();
    EnableControls(true); // stays off while the formats are unread
    if (m_formatUnread || !checkStreams || m_device == nullptr || m_device->UsesEndpointPath())
        return;
    StreamStatusRecord status = {};
    if (!m_device->QueryStreamStatus(&status))
        return;
    if (status.playbackActive &&
        SelectFormat(IDC_PLAY_FORMAT, status.playbackBits, status.playbackRate))
        m_playback.deviceIndex = CurrentSelection(IDC_PLAY_FORMAT);
    if (status.recordActive && SelectFormat(IDC_REC_FORMAT, status.recordBits, status.recordRate))
        m_record.deviceIndex = CurrentSelection(IDC_REC_FORMAT);
}

void CPPageACpl::SelectionChanged(Direction& direction) {
    m_choicePending = true;
    direction.selectedIndex = CurrentSelection(direction.formatList);
    // A stopped stream takes the new format without a warning.
    if (direction.selectedIndex != direction.deviceIndex && !direction.active)
        direction.deviceIndex = direction.selectedIndex;
}

bool CPPageACpl::OnPlaybackSelection(WPARAM, LPARAM, LRESULT& result) {
    SelectionChanged(m_playback);
    result = 0;
    return true;
}

bool CPPageACpl::OnRecordSelection(WPARAM, LPARAM, LRESULT& result) {
    SelectionChanged(m_record);
    result = 0;
    return true;
}

bool CPPageACpl::OnFixedClicked(WPARAM, LPARAM, LRESULT& result) {
    ApplySelection();
    result = 0;
    return true;
}

void CPPageACpl::ApplySelection() {
    DeviceFormatRecord record;
    if (m_device == nullptr || !RecordOfLists(record))
        return;
    // The next refresh shows what the device holds; a choice it did not take is said so until
    // one is taken.
    if (m_device->AccessFormat(false, &record)) {
        m_setFailed = false;
        return;
    }
    m_setFailed = true;
    m_mainDialog->ShowMessageLine(kFormatNotSetText, true);
}

void CPPageACpl::ShowStatusRows(bool show) {
    for (int id : kStatusRowIds)
        ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE);
}

void CPPageACpl::ShowStatus(Direction& direction, bool active, int bits, unsigned rate) {
    char text[64];
    if (active)
        FormatText(bits, rate, text, sizeof(text));
    else
        lstrcpynA(text, kInactiveText, sizeof(text));
    SetWindowTextA(direction.status->m_hWnd, text);
    direction.active = active;
}

void CPPageACpl::UpdateDeviceIndex(Direction& direction, bool fixed, int bits, unsigned rate) {
    if (!direction.active) {
        direction.deviceIndex = CurrentSelection(direction.formatList);
        return;
    }
    if (fixed || m_device->UsesEndpointPath()) {
        const int found = FindFormat(direction.formatList, bits, rate);
        if (found != CB_ERR)
            direction.deviceIndex = found;
    } else {
        direction.deviceIndex = 0; // the device chooses itself: "Auto"
    }
}

void CPPageACpl::PollDevice() {
    if (m_device == nullptr || !m_device->IsOpen())
        return;
    const bool topology = m_device->HasTopologyHandle();
    if (m_statusShown && !topology) {
        m_statusShown = false;
        ShowStatusRows(false);
    } else if (!m_statusShown && topology) {
        m_statusShown = true;
        ShowStatusRows(true);
    }

    if (!m_choicePending)
        RefreshFromDevice();

    StreamStatusRecord status = {};
    if (m_device->QueryStreamStatus(&status)) {
        ShowStatus(m_playback, status.playbackActive == 1, status.playbackBits,
                   status.playbackRate);
        ShowStatus(m_record, status.recordActive == 1, status.recordBits, status.recordRate);
    } else {
        status = {};
        ShowStatus(m_playback, false, 0, 0);
        ShowStatus(m_record, false, 0, 0);
    }
    UpdateDeviceIndex(m_playback, status.playbackFixed != 0, status.playbackBits,
                      status.playbackRate);
    UpdateDeviceIndex(m_record, status.recordFixed != 0, status.recordBits, status.recordRate);

    const bool playWaits = m_playback.active && m_playback.deviceIndex != m_playback.selectedIndex;
    const bool recWaits = m_record.active && m_record.deviceIndex != m_record.selectedIndex;
    if (m_formatUnread)
        m_mainDialog->ShowMessageLine(kFormatUnreadText, true);
    else if (m_setFailed)
        m_mainDialog->ShowMessageLine(kFormatNotSetText, true);
    else if (playWaits && recWaits)
        m_mainDialog->ShowMessageLine(kBothStreamsWarning, true);
    else if (playWaits)
        m_mainDialog->ShowMessageLine(kPlayerWarning, true);
    else if (recWaits)
        m_mainDialog->ShowMessageLine(kRecorderWarning, true);
    else
        m_mainDialog->ShowMessageLine(nullptr, false);

    if (m_device->UsesEndpointPath()) {
        m_playStatus.m_crTextColor = kSilver;
        m_recStatus.m_crTextColor = kSilver;
    } else {
        m_playStatus.m_crTextColor = m_playback.deviceIndex == 0 ? kDarkBlue : kSilver;
        m_recStatus.m_crTextColor = m_record.deviceIndex == 0 ? kDarkBlue : kSilver;
    }
    RedrawNow(m_playStatus.m_hWnd);
    RedrawNow(m_recStatus.m_hWnd);

    if (m_choicePending) {
        m_choicePending = false;
        ApplySelection();
    }
}
