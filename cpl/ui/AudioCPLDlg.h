// The control panel's main window: the two pages in a tab control, the notification icon, the
// device's arrival and removal, one 100 ms timer for every periodic task, and the commands of
// the ASIO driver and the installer. Its title is how the other programs find it.
#pragma once

#include "ColorStatic.h"
#include "NotifyIcon.h"
#include "framework/Dialog.h"
#include "ports/DeviceNotices.h"

#include <memory>

class CUsbAudioDevice;
class CPPageACpl;
class CPPageAsio;
class CAboutDlg;

class CAudioCPLDlg : public CDialog {
public:
    explicit CAudioCPLDlg(CWnd* parent = nullptr);
    ~CAudioCPLDlg() override;

    // Sets the message line's text when `text` is given, then shows or hides the line.
    void ShowMessageLine(const char* text, bool show);
    // Restores the window on top of the others with the "ASIO CPL" page chosen.
    void BringToFront();

    BOOL DestroyWindow() override;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    enum class CommandReaction { Show, Hide, Exit, ShowPanel, RefreshAsio, Nothing };
    struct CommandRow {
        UINT command;
        CommandReaction reaction;
    };
    static const CommandRow kCommands[];
    static const MessageEntry<CAudioCPLDlg> kMessageMap[];

    bool OnSysCommand(WPARAM, LPARAM, LRESULT&);
    bool OnPaint(WPARAM, LPARAM, LRESULT&);
    bool OnQueryDragIcon(WPARAM, LPARAM, LRESULT&);
    bool OnOkCommand(WPARAM, LPARAM, LRESULT&);
    bool OnTabChange(WPARAM, LPARAM, LRESULT&);
    bool OnTimer(WPARAM, LPARAM, LRESULT&);
    bool OnTrayIcon(WPARAM, LPARAM, LRESULT&);
    bool OnDeviceChange(WPARAM, LPARAM, LRESULT&);

    void React(CommandReaction reaction);
    void RunAboutBox();
    void ShowCurrentPage();
    void ShowTrayMenu();
    void RegisterDeviceNotices();
    void RefreshAsioStatus();
    // The device came (arrival notice or a successful retry): sound and page refresh.
    void DeviceOpened();
    void AddPage(CDialog* page, const char* label);
    void AddNotificationIcon();
    void EndPanel();

    std::unique_ptr<CUsbAudioDevice> m_device;
    bool m_connected = false;
    std::unique_ptr<CPPageACpl> m_formatPage;
    std::unique_ptr<CPPageAsio> m_asioPage;
    CDialog* m_pages[16] = {};
    char m_pageLabels[16][32] = {};
    int m_pageCount = 0;
    int m_currentPage = 0;
    int m_asioPageIndex = 1;
    CNotifyIcon m_notifyIcon;
    bool m_notifyIconAdded = false;
    UniqueDeviceNotify m_deviceNotify;
    int m_reconnectTicks = 0;
    int m_formatTicks = 0;
    int m_asioTicks = 0;
    int m_holdOffTicks = 0;
    HICON m_hIcon;
    CColorStatic m_messageLine;
    UINT m_taskbarCreated = 0;
    bool m_timerRunning = false;
    CAboutDlg* m_openAbout = nullptr;
};
