#include "ColorStatic.h"

CColorStatic::CColorStatic()
    : m_crBackColor(GetSysColor(COLOR_BTNFACE)), m_backBrush(CreateSolidBrush(m_crBackColor)) {}

void CColorStatic::SetTextColorAndRedraw(COLORREF color) {
    m_crTextColor = color;
    RedrawNow(m_hWnd);
}

HBRUSH CColorStatic::CtlColor(HDC dc, UINT ctlColorMessage) {
    if (ctlColorMessage != WM_CTLCOLORSTATIC && ctlColorMessage != WM_CTLCOLOREDIT)
        return nullptr;
    SetBkColor(dc, m_crBackColor);
    SetTextColor(dc, m_crTextColor);
    return static_cast<HBRUSH>(m_backBrush.get());
}

void RedrawNow(HWND window) {
    if (window != nullptr)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}
