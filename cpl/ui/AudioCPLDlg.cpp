#include "AudioCPLDlg.h"

#include "AboutDlg.h"
#include "MessageFilter.h"
#include "PPageACpl.h"
#include "PPageAsio.h"
#include "Resource.h"
#include "common/PanelCommands.h"
#include "cpl/device/UsbAudioDevice.h"
#include "framework/Application.h"
#include "framework/WindowResources.h"

#include <commctrl.h>
#include <dbt.h>
#include <mmsystem.h>

#include <cstddef>
#include <new>

namespace {

constexpr char kTipPresent[] = "Quenvora-K9 USB Audio";
constexpr char kTipAbsent[] = "No Device";
constexpr COLORREF kDarkRed = 0x00007F;
constexpr UINT kTimerPeriodMs = 100;
// Ticks of the timer: an open attempt every 2 s, the format page every 1 s (its warning blanked
// half a second later), the ASIO status every 0.5 s, and 5 s of rest after a removal.
constexpr int kReconnectTicks = 20;
constexpr int kReconnectWrap = 50;
constexpr int kFormatTicks = 10;
constexpr int kFormatBlankTick = 5;
constexpr int kAsioTicks = 5;
constexpr int kHoldOffTicks = 50;

// GUID_DEVINTERFACE_USB_DEVICE
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

HINSTANCE ProgramModule() {
    CApplication* app = CApplication::Current();
    return app != nullptr && app->m_hInstance != nullptr ? app->m_hInstance
                                                         : GetModuleHandleA(nullptr);
}

HICON LoadPanelIcon() {
    return LoadIconA(ProgramModule(), MAKEINTRESOURCEA(IDR_PANEL_ICON));
}

void PlayArrivalSound() {
    // Synchronous: the notice is answered when the sound has ended.
    PlaySoundA(MAKEINTRESOURCEA(IDR_ARRIVAL_SOUND), ProgramModule(), SND_RESOURCE | SND_SYNC);
}

} // namespace

const CAudioCPLDlg::CommandRow CAudioCPLDlg::kCommands[] = {
    {ID_TRAY_SHOW, CommandReaction::Show},
    {ID_TRAY_HIDE, CommandReaction::Hide},
    {ID_CPL_EXIT, CommandReaction::Exit},
    {ID_CPL_EXIT_SECOND, CommandReaction::Exit},
    {ASIOWM_SHOWCPL, CommandReaction::ShowPanel},
    {ASIOWM_SMPLRATECHANGE, CommandReaction::RefreshAsio},
    {ASIOWM_BUFCREATE, CommandReaction::RefreshAsio},
    {ASIOWM_BUFDISPOSE, CommandReaction::Nothing},
    {ASIOWM_START, CommandReaction::RefreshAsio},
    {ASIOWM_STOP, CommandReaction::RefreshAsio},
    {ASIOWM_DRVLOAD, CommandReaction::RefreshAsio},
    {ASIOWM_DRVUNLOAD, CommandReaction::RefreshAsio},
    {ASIOWM_INIT, CommandReaction::RefreshAsio},
    {ASIOWM_GETBUFSIZE, CommandReaction::RefreshAsio},
    {ASIOWM_GETCHANNELINFO, CommandReaction::RefreshAsio},
};

const MessageEntry<CAudioCPLDlg> CAudioCPLDlg::kMessageMap[] = {
    OnMessageRow(WM_SYSCOMMAND, &CAudioCPLDlg::OnSysCommand),
    OnMessageRow(WM_PAINT, &CAudioCPLDlg::OnPaint),
    OnMessageRow(WM_QUERYDRAGICON, &CAudioCPLDlg::OnQueryDragIcon),
    OnCommandRow(BN_CLICKED, IDOK, &CAudioCPLDlg::OnOkCommand),
    OnNotifyRow(TCN_SELCHANGE, IDC_PAGE_TABS, &CAudioCPLDlg::OnTabChange),
    OnMessageRow(WM_TIMER, &CAudioCPLDlg::OnTimer),
    OnMessageRow(WM_TRAYICON, &CAudioCPLDlg::OnTrayIcon),
    OnMessageRow(WM_DEVICECHANGE, &CAudioCPLDlg::OnDeviceChange),
};

CAudioCPLDlg::CAudioCPLDlg(CWnd* parent) : CDialog(IDD_MAIN, parent), m_hIcon(LoadPanelIcon()) {}

CAudioCPLDlg::~CAudioCPLDlg() = default;

bool CAudioCPLDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    // The shell came up again (Explorer restarted, or it was not ready at log-on): the icon is
    // added anew, or a hidden panel could no longer be reached.
    if (m_taskbarCreated != 0 && message == m_taskbarCreated) {
        if (m_notifyIconAdded)
            m_notifyIcon.Add(m_notifyIcon.Tip());
        result = 0;
        return true;
    }
    return DispatchMessageTable(*this, kMessageMap, message, wParam, lParam, result) ||
           CDialog::OnMessage(message, wParam, lParam, result);
}

void CAudioCPLDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_MESSAGE_LINE, m_messageLine);
}

BOOL CAudioCPLDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        char about[128] = {};
        if (LoadStringA(ProgramModule(), IDS_ABOUT_MENU, about, sizeof(about)) > 0) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, ID_SYS_ABOUT, about);
        }
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Commands from hosts and the installer, which run without elevation.
    m_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    AllowMessagesFromOtherPrograms(m_hWnd, m_taskbarCreated);

    m_connected = false;
    m_device.reset(new (std::nothrow) CUsbAudioDevice());
    if (!m_device || !m_device->HasPlatformInfo())
        return TRUE; // an empty window: no pages, no icon, no notices, no timer

    m_messageLine.m_crTextColor = kDarkRed;
    RedrawNow(m_messageLine.m_hWnd);
    SetWindowTextA(m_messageLine.m_hWnd, kBothStreamsWarning);

    if (m_device->Open(m_hWnd))
        m_connected = true;

    m_pageCount = 0;
    m_formatPage.reset(new (std::nothrow) CPPageACpl(this, m_device.get()));
    if (m_formatPage && m_formatPage->Create(IDD_PAGE_FORMAT, this))
        AddPage(m_formatPage.get(), "Audio CPL");
    m_asioPage.reset(new (std::nothrow) CPPageAsio(this, m_device.get()));
    if (m_asioPage && m_asioPage->Create(IDD_PAGE_ASIO, this)) {
        m_asioPageIndex = m_pageCount;
        AddPage(m_asioPage.get(), "ASIO CPL");
    }

    HWND tabs = GetDlgItem(IDC_PAGE_TABS);
    RECT pageRect = {};
    GetWindowRect(tabs, &pageRect);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&pageRect), 2);
    pageRect.top += 30;
    pageRect.left += 10;
    pageRect.right -= 5;
    pageRect.bottom -= 5;
    for (int i = 0; i < m_pageCount; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = m_pageLabels[i];
        SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
        MoveWindow(m_pages[i]->m_hWnd, pageRect.left, pageRect.top, pageRect.right - pageRect.left,
                   pageRect.bottom - pageRect.top, TRUE);
        EnableWindow(m_pages[i]->m_hWnd, TRUE);
    }
    m_currentPage = 0;
    ShowCurrentPage();

    if (m_connected && m_formatPage)
        m_formatPage->ApplyConnectionState(true, true);

    RegisterDeviceNotices();
    AddNotificationIcon();

    m_reconnectTicks = m_formatTicks = m_asioTicks = m_holdOffTicks = 0;
    m_timerRunning = SetTimer(m_hWnd, ID_TIMER_POLL, kTimerPeriodMs, nullptr) != 0;
    return TRUE;
}

void CAudioCPLDlg::AddPage(CDialog* page, const char* label) {
    if (m_pageCount >= 16)
        return;
    m_pages[m_pageCount] = page;
    lstrcpynA(m_pageLabels[m_pageCount], label, sizeof(m_pageLabels[m_pageCount]));
    ++m_pageCount;
}

void CAudioCPLDlg::AddNotificationIcon() {
    m_notifyIcon.Prepare(m_hWnd, WM_TRAYICON, ShellVersion());
    // Kept even when the shell is not there yet: "TaskbarCreated" adds it when it comes. Set
    // before the add: while the shell takes it, this thread answers the messages sent to it,
    // and a device notice among them must send its new tip too.
    m_notifyIconAdded = true;
    m_notifyIcon.Add(m_connected ? kTipPresent : kTipAbsent);
}

void CAudioCPLDlg::RegisterDeviceNotices() {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterface;
    m_deviceNotify.reset(
        deviceNotices().registerWindow(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

void CAudioCPLDlg::ShowCurrentPage() {
    for (int i = 0; i < m_pageCount; ++i)
        ShowWindow(m_pages[i]->m_hWnd, SW_HIDE);
    if (m_currentPage >= 0 && m_currentPage < m_pageCount)
        ShowWindow(m_pages[m_currentPage]->m_hWnd, SW_SHOW);
}

void CAudioCPLDlg::ShowMessageLine(const char* text, bool show) {
    if (text != nullptr)
        SetWindowTextA(m_messageLine.m_hWnd, text);
    ShowWindow(m_messageLine.m_hWnd, show ? SW_SHOW : SW_HIDE);
}

void CAudioCPLDlg::RefreshAsioStatus() {
    if (m_asioPage)
        m_asioPage->RefreshAsioStatus();
}

BOOL CAudioCPLDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT command = LOWORD(wParam);
    for (const CommandRow& row : kCommands) {
        if (row.command == command) {
            React(row.reaction);
            break;
        }
    }
    CDialog::OnCommand(wParam, lParam);
    return TRUE;
}

void CAudioCPLDlg::React(CommandReaction reaction) {
    switch (reaction) {
    case CommandReaction::Show:
        ShowWindow(m_hWnd, SW_RESTORE);
        break;
    case CommandReaction::Hide:
        ShowWindow(m_hWnd, SW_HIDE);
        break;
    case CommandReaction::Exit:
        EndPanel();
        break;
    case CommandReaction::ShowPanel:
        OutputDebugStringA("WM_USER + 1\n");
        BringToFront();
        RefreshAsioStatus();
        break;
    case CommandReaction::RefreshAsio:
        RefreshAsioStatus();
        break;
    case CommandReaction::Nothing:
        break;
    }
}

void CAudioCPLDlg::EndPanel() {
    // An open about box or tray menu would otherwise keep the program alive until someone
    // closes it.
    if (m_openAbout != nullptr)
        m_openAbout->EndDialog(IDCANCEL);
    EndMenu();
    OnOK();
}

bool CAudioCPLDlg::OnOkCommand(WPARAM, LPARAM, LRESULT& result) {
    OnOK();
    result = 0;
    return true;
}

void CAudioCPLDlg::RunAboutBox() {
    if (m_openAbout != nullptr)
        return;
    CAboutDlg about(this);
    m_openAbout = &about;
    about.DoModal();
    m_openAbout = nullptr;
}

bool CAudioCPLDlg::OnSysCommand(WPARAM wParam, LPARAM, LRESULT& result) {
    switch (wParam & 0xFFF0) {
    case ID_SYS_ABOUT:
        RunAboutBox();
        break;
    case SC_MINIMIZE:
        // Hidden rather than minimised: the notification icon brings it back.
        ShowWindow(m_hWnd, SW_HIDE);
        break;
    default:
        return false;
    }
    result = 0;
    return true;
}

bool CAudioCPLDlg::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    if (!IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    result = 0;
    return true;
}

bool CAudioCPLDlg::OnQueryDragIcon(WPARAM, LPARAM, LRESULT& result) {
    result = reinterpret_cast<LRESULT>(m_hIcon);
    return true;
}

bool CAudioCPLDlg::OnTabChange(WPARAM, LPARAM, LRESULT& result) {
    int selection = static_cast<int>(SendMessageA(GetDlgItem(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0));
    if (selection < 0)
        selection = 0;
    if (selection > m_pageCount - 1)
        selection = m_pageCount - 1;
    m_currentPage = selection;
    ShowCurrentPage();
    result = 0;
    return true;
}

void CAudioCPLDlg::BringToFront() {
    ShowWindow(m_hWnd, SW_RESTORE);
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SendMessageA(GetDlgItem(IDC_PAGE_TABS), TCM_SETCURFOCUS, m_asioPageIndex, 0);
    // TCM_SETCURFOCUS raises the tab change only for a new selection.
    m_currentPage = m_asioPageIndex < m_pageCount ? m_asioPageIndex : m_currentPage;
    ShowCurrentPage();
}

bool CAudioCPLDlg::OnTrayIcon(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (wParam != 1) {
        result = 0;
        return true;
    }
    switch (static_cast<UINT>(lParam)) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    case WM_LBUTTONDBLCLK:
        ShowWindow(m_hWnd, SW_RESTORE);
        break;
    default:
        break;
    }
    result = 1;
    return true;
}

void CAudioCPLDlg::ShowTrayMenu() {
    POINT cursor = {};
    GetCursorPos(&cursor);
    UniqueMenu menu(CreatePopupMenu());
    if (!menu)
        return;
    if (IsWindowVisible(m_hWnd))
        InsertMenuA(menu.get(), static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, ID_TRAY_HIDE,
                    "Hide");
    else
        InsertMenuA(menu.get(), static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING, ID_TRAY_SHOW,
                    "Show");
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(menu.get(), TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, m_hWnd, nullptr);
}

void CAudioCPLDlg::DeviceOpened() {
    if (m_device->UsesEndpointPath())
        PlayArrivalSound();
    if (m_formatPage) {
        m_formatPage->RefreshFromDevice();
        m_formatPage->EnableControls(true);
    }
}

bool CAudioCPLDlg::OnDeviceChange(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = TRUE;
    if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE)
        return true;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE || !m_device)
        return true;

    // The name is read from a copy bounded by the broadcast's own size; the sender's record
    // is not written.
    const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
    char name[MAX_PATH] = {};
    const size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    if (header->dbch_size > nameOffset) {
        size_t available = header->dbch_size - nameOffset;
        if (available > sizeof(name) - 1)
            available = sizeof(name) - 1;
        for (size_t i = 0; i < available && notice->dbcc_name[i] != '\0'; ++i)
            name[i] = notice->dbcc_name[i];
    }
    WORD vid = 0, pid = 0, mi = 0;
    CUsbAudioDevice::ParseVidPidMi(name, &vid, &pid, &mi);
    if (vid != kDeviceVendorId || pid != kDeviceProductId)
        return true;

    if (wParam == DBT_DEVICEARRIVAL) {
        m_connected = true;
        m_notifyIcon.SetTip(kTipPresent);
        if (m_device->Open(m_hWnd))
            DeviceOpened();
    } else {
        m_connected = false;
        m_holdOffTicks = kHoldOffTicks;
        m_notifyIcon.SetTip(kTipAbsent);
        m_device->Close();
        if (m_formatPage) {
            m_formatPage->ShowStreamsInactive();
            m_formatPage->EnableControls(false);
        }
    }
    if (m_notifyIconAdded)
        m_notifyIcon.Modify();
    return true;
}

bool CAudioCPLDlg::OnTimer(WPARAM wParam, LPARAM, LRESULT&) {
    if (wParam != ID_TIMER_POLL)
        return false;
    if (m_holdOffTicks > 0) {
        --m_holdOffTicks;
        m_reconnectTicks = m_formatTicks = m_asioTicks = 0;
    }

    ++m_reconnectTicks;
    if (m_reconnectTicks >= kReconnectTicks && m_device && !m_device->IsOpen()) {
        m_reconnectTicks = 0;
        if (m_device->Open(m_hWnd)) {
            m_connected = true;
            // A device there at log-on whose first open failed, or one back without a notice:
            // the tip says so too, or it would say "No Device" for as long as the panel runs.
            m_notifyIcon.SetTip(kTipPresent);
            if (m_notifyIconAdded)
                m_notifyIcon.Modify();
            DeviceOpened();
        }
    }
    if (m_reconnectTicks >= kReconnectWrap)
        m_reconnectTicks = 0;

    if (m_device) {
        if (AsioSharedBlock* block = m_device->SharedBlock()) {
            const LONG request =
                InterlockedExchange(reinterpret_cast<volatile LONG*>(&block->showPanelRequest), 0);
            if (request > 0)
                BringToFront();
        }
    }

    ++m_formatTicks;
    if (m_formatTicks >= kFormatTicks) {
        m_formatTicks = 0;
        if (m_connected && m_formatPage && m_device && m_device->IsOpen())
            m_formatPage->PollDevice();
    } else if (m_formatTicks == kFormatBlankTick) {
        SetWindowTextA(m_messageLine.m_hWnd, "");
    }

    ++m_asioTicks;
    if (m_asioTicks >= kAsioTicks) {
        m_asioTicks = 0;
        RefreshAsioStatus();
    }
    return false;
}

BOOL CAudioCPLDlg::DestroyWindow() {
    m_deviceNotify.reset();
    if (m_timerRunning) {
        KillTimer(m_hWnd, ID_TIMER_POLL);
        m_timerRunning = false;
    }
    // While the shell removes the icon, this thread answers the driver's notices; the pages and
    // the device they borrow are all still there to answer them.
    if (m_notifyIconAdded) {
        m_notifyIcon.Delete();
        m_notifyIconAdded = false;
    }
    // The pages before the device they borrow: the ASIO page's own end closes the shared block
    // through it.
    m_pageCount = 0;
    if (m_formatPage) {
        m_formatPage->DestroyWindow();
        m_formatPage.reset();
    }
    if (m_asioPage) {
        m_asioPage->DestroyWindow();
        m_asioPage.reset();
    }
    if (m_device) {
        m_device->Close();
        m_device.reset();
    }
    return CDialog::DestroyWindow();
}
