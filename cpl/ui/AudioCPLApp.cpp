#include "AudioCPLApp.h"

#include "AudioCPLDlg.h"
#include "common/PanelCommands.h"

#include <commctrl.h>

// Message boxes without a caption of their own show the executable's name, "QvK9CPL".
CAudioCPLApp theApp;

BOOL CAudioCPLApp::InitInstance() {
    // Classic controls, including the trackbar and the tab control; a failure shows later as
    // a dialog that cannot be created, nothing to report here.
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);

    CApplication::InitInstance();
    EnableControlContainer();
    SetRegistryKey("Local AppWizard-Generated Applications");

    // Another panel (or any window with the panel's title) is the one the other programs talk
    // to: show it, also when it is hidden in the notification area, and end without a window.
    HWND running = FindWindowA(nullptr, kPanelWindowTitle);
    if (running != nullptr && running != INVALID_HANDLE_VALUE) {
        ShowWindow(running, SW_SHOWNORMAL);
        SetFocus(running);
        return FALSE;
    }

    CAudioCPLDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
