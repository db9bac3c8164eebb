// The panel's icon in the notification area: one structure kept for the window's life and
// reused for add, modify and delete, as the shell expects of one icon.
#pragma once

#include <windows.h>
#include <shellapi.h>

class CNotifyIcon {
public:
    // Fills the structure for `window`'s icon 1 with `callbackMessage`; `shellVersion` is
    // (major << 16) | minor of Shell32, which decides the structure size the shell accepts.
    void Prepare(HWND window, UINT callbackMessage, DWORD shellVersion);
    // NIM_ADD with the panel's icon and `tip`; also used again when the shell restarts.
    BOOL Add(const char* tip);
    // A new tip: only written into the structure; Modify sends it.
    void SetTip(const char* tip);
    BOOL Modify();
    BOOL Delete();
    const char* Tip() const { return m_data.szTip; }

private:
    BOOL Send(DWORD action);
    NOTIFYICONDATAA m_data = {};
};

// (major << 16) | minor of Shell32's DllGetVersion, or 0 when it cannot be asked.
DWORD ShellVersion();
