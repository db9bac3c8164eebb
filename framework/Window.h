// The window object: a C++ object bound to one window handle. A control of a dialog is bound by
// subclassing (its window procedure is replaced by ours, the old one handles what we pass on);
// the object and the window find each other through a window property.
#pragma once

#include "MessageTable.h"

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Binds this object to an existing window by subclassing it; false when the window is
    // missing or already bound.
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(int id, const CWnd& parent);
    // Gives the window its own procedure back and forgets it.
    HWND UnsubclassWindow();

    // Ends the window. Programs override it to release what the window holds first.
    virtual BOOL DestroyWindow();

    // The control-colour request (WM_CTLCOLOR*) that the parent reflects to this control. A
    // brush answers the request; null leaves it to the parent's default.
    virtual HBRUSH CtlColor(HDC dc, UINT ctlColorMessage);

    // The object bound to a window of this program, or null.
    static CWnd* FromHandlePermanent(HWND window);

protected:
    // The class's message table; true when handled. Classes with a table override it, walk
    // their rows and then ask their base.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // WM_COMMAND; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

    // What every window procedure of ours runs for one message: commands, reflected colours,
    // then the table. False leaves the message to the window's default handling.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Binds and unbinds the property that leads from the window to this object.
    void Attach(HWND window);
    void Detach();

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_previousProc = nullptr;
};

// The one door of every window procedure: runs `body` and keeps anything thrown inside the
// program's own frames.
template <typename Body, typename Fallback>
auto GuardedWindowCall(Body body, Fallback fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        OutputDebugStringA("QvK9: unexpected failure caught in a window procedure\n");
        return fallback;
    }
}
