#include "Window.h"

namespace {
constexpr char kObjectProperty[] = "QvK9.WindowObject";

bool IsReflectedColourRequest(UINT message) {
    return message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC ||
           message == WM_CTLCOLORBTN || message == WM_CTLCOLORLISTBOX ||
           message == WM_CTLCOLORSCROLLBAR;
}
} // namespace

CWnd::~CWnd() {
    if (m_previousProc != nullptr)
        UnsubclassWindow();
    else
        Detach();
}

void CWnd::Attach(HWND window) {
    m_hWnd = window;
    SetPropA(window, kObjectProperty, reinterpret_cast<HANDLE>(this));
}

void CWnd::Detach() {
    if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this)
        RemovePropA(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    if (window == nullptr)
        return nullptr;
    return reinterpret_cast<CWnd*>(GetPropA(window, kObjectProperty));
}

bool CWnd::SubclassWindow(HWND window) {
    if (window == nullptr || m_hWnd != nullptr || FromHandlePermanent(window) != nullptr)
        return false;
    Attach(window);
    m_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    if (m_previousProc == nullptr) {
        Detach();
        return false;
    }
    return true;
}

bool CWnd::SubclassDlgItem(int id, const CWnd& parent) {
    return SubclassWindow(GetDlgItem(parent.m_hWnd, id));
}

HWND CWnd::UnsubclassWindow() {
    HWND window = m_hWnd;
    if (window != nullptr && m_previousProc != nullptr)
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    m_previousProc = nullptr;
    Detach();
    return window;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

HBRUSH CWnd::CtlColor(HDC, UINT) {
    return nullptr;
}

bool CWnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    LRESULT ignored = 0;
    return OnMessage(WM_COMMAND, wParam, lParam, ignored) ? TRUE : FALSE;
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_COMMAND) {
        result = 0;
        return OnCommand(wParam, lParam) != FALSE;
    }
    if (IsReflectedColourRequest(message)) {
        CWnd* control = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
        if (control != nullptr && control != this) {
            if (HBRUSH brush = control->CtlColor(reinterpret_cast<HDC>(wParam), message)) {
                result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
        }
    }
    return OnMessage(message, wParam, lParam, result);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandlePermanent(window);
    if (self == nullptr || self->m_previousProc == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    const WNDPROC previous = self->m_previousProc;
    if (message == WM_NCDESTROY) {
        // The window ends before its object: the object forgets it.
        self->UnsubclassWindow();
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    const bool handled =
        GuardedWindowCall([&] { return self->Dispatch(message, wParam, lParam, result); }, false);
    if (handled)
        return result;
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
