#include "TransparentStatic.h"

#include <vector>

const MessageEntry<CTransparentStatic> CTransparentStatic::kMessageMap[] = {
    OnMessageRow(WM_PAINT, &CTransparentStatic::OnPaint),
};

bool CTransparentStatic::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchMessageTable(*this, kMessageMap, message, wParam, lParam, result) ||
           CWnd::OnMessage(message, wParam, lParam, result);
}

UINT CTransparentStatic::DrawFlagsForStyle(LONG_PTR style) {
    UINT flags = 0;
    if (style & 0x0001)
        flags |= DT_CENTER;
    else if (style & 0x0002)
        flags |= DT_RIGHT;
    if (style & SS_CENTERIMAGE)
        flags |= DT_VCENTER | DT_SINGLELINE;
    if (style & SS_NOPREFIX)
        flags |= DT_NOPREFIX;
    if (style & 0xC000) {
        flags |= DT_WORD_ELLIPSIS;
        if (style & SS_ENDELLIPSIS)
            flags |= DT_END_ELLIPSIS;
        if (style & SS_PATHELLIPSIS)
            flags |= DT_PATH_ELLIPSIS;
    }
    if ((style & 0xC20C) == 0)
        flags |= DT_WORDBREAK;
    return flags;
}

bool CTransparentStatic::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (dc == nullptr)
        return false;
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int length = GetWindowTextLengthA(m_hWnd);
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(m_hWnd, text.data(), length + 1);

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
    HGDIOBJ previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    const UINT flags = DrawFlagsForStyle(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text.data(), -1, &client, flags);
    if (previousFont != nullptr)
        SelectObject(dc, previousFont);
    EndPaint(m_hWnd, &paint);
    result = 0;
    return true;
}
