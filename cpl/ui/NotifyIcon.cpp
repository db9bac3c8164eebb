#include "NotifyIcon.h"

#include "Resource.h"
#include "framework/Application.h"
#include "framework/WindowResources.h"

#include <shlwapi.h>

#if defined(__i386__)
// The structure the shell of Windows 2000 and later reads, and the one of older shells.
static_assert(sizeof(NOTIFYICONDATAA) == 508);
static_assert(NOTIFYICONDATAA_V2_SIZE == 488);
#endif

namespace {

HICON PanelIcon() {
    CApplication* app = CApplication::Current();
    return LoadIconA(app != nullptr ? app->m_hInstance : GetModuleHandleA(nullptr),
                     MAKEINTRESOURCEA(IDR_PANEL_ICON));
}

} // namespace

DWORD ShellVersion() {
    UniqueModule shell(LoadLibraryA("Shell32.dll"));
    if (!shell)
        return 0;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "DllGetVersion")));
    if (getVersion == nullptr)
        return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (FAILED(getVersion(&info)))
        return 0;
    return (info.dwMajorVersion << 16) | info.dwMinorVersion;
}

void CNotifyIcon::Prepare(HWND window, UINT callbackMessage, DWORD shellVersion) {
    ZeroMemory(&m_data, sizeof(m_data));
    m_data.cbSize = shellVersion >= 0x00050000 ? sizeof(NOTIFYICONDATAA) : NOTIFYICONDATAA_V2_SIZE;
    m_data.hWnd = window;
    m_data.uID = 1;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
}

void CNotifyIcon::SetTip(const char* tip) {
    lstrcpynA(m_data.szTip, tip, sizeof(m_data.szTip));
}

BOOL CNotifyIcon::Send(DWORD action) {
    // The icon handle is loaded for each call and not kept in the structure between calls.
    m_data.hIcon = PanelIcon();
    const BOOL done = Shell_NotifyIconA(action, &m_data);
    m_data.hIcon = nullptr;
    return done;
}

BOOL CNotifyIcon::Add(const char* tip) {
    SetTip(tip);
    return Send(NIM_ADD);
}

BOOL CNotifyIcon::Modify() {
    return Send(NIM_MODIFY);
}

BOOL CNotifyIcon::Delete() {
    if (m_data.hWnd == nullptr)
        return FALSE;
    return Shell_NotifyIconA(NIM_DELETE, &m_data);
}
