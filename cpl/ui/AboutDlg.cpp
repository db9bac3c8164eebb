#include "AboutDlg.h"

#include "Resource.h"

namespace {

// Moves a child to (x, y) in its parent's client pixels, keeping its size.
void MoveChildTo(HWND parent, int id, int x, int y) {
    HWND child = GetDlgItem(parent, id);
    if (child == nullptr)
        return;
    SetWindowPos(child, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The title line is drawn on one line; where the dialog font is wider than the template
// assumed, the line grows to the right over the picture instead of wrapping out of sight.
void FitTitleOnOneLine(HWND title, int rightLimit) {
    RECT client;
    GetClientRect(title, &client);
    char text[128] = {};
    GetWindowTextA(title, text, sizeof(text));
    HDC dc = GetDC(title);
    if (dc == nullptr)
        return;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(title, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    if (previous != nullptr)
        SelectObject(dc, previous);
    ReleaseDC(title, dc);
    RECT placed;
    GetWindowRect(title, &placed);
    MapWindowPoints(nullptr, GetParent(title), reinterpret_cast<POINT*>(&placed), 2);
    const int wanted = extent.cx + 2;
    if (wanted <= client.right)
        return;
    const int width = placed.left + wanted <= rightLimit ? wanted : rightLimit - placed.left;
    if (width > client.right)
        SetWindowPos(title, nullptr, 0, 0, width, client.bottom, SWP_NOMOVE | SWP_NOZORDER);
}

} // namespace

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUT, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_ABOUT_TITLE, m_title);
    DDX_Control(exchange, IDC_ABOUT_LINE2, m_line2);
    DDX_Control(exchange, IDC_ABOUT_LINE3, m_line3);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The picture static has sized itself to the bitmap; the box is fitted around it.
    RECT picture = {};
    GetClientRect(GetDlgItem(IDC_ABOUT_PICTURE), &picture);
    const int w = picture.right - picture.left;
    const int h = picture.bottom - picture.top;
    SetWindowPos(m_hWnd, nullptr, 0, 0, w + 5, h + 25, SWP_NOMOVE | SWP_NOZORDER);

    MoveChildTo(m_hWnd, IDC_ABOUT_TITLE, 70, 12);
    MoveChildTo(m_hWnd, IDC_ABOUT_LINE2, 70, 28);
    MoveChildTo(m_hWnd, IDC_ABOUT_LINE3, 70, 45);
    FitTitleOnOneLine(GetDlgItem(IDC_ABOUT_TITLE), w - 4);

    HWND ok = GetDlgItem(IDOK);
    RECT okRect = {};
    GetWindowRect(ok, &okRect);
    const int okWidth = okRect.right - okRect.left;
    const int okHeight = okRect.bottom - okRect.top;
    MoveChildTo(m_hWnd, IDOK, w - 10 - okWidth, h - 10 - okHeight);
    return TRUE;
}
