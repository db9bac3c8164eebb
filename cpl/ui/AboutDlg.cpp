#include "AboutDlg.h"

#include "Resource.h"
#include "TitleFit.h"

namespace {

// Moves a child to (x, y) in its parent's client pixels, keeping its size.
void MoveChildTo(HWND parent, int id, int x, int y) {
    HWND child = GetDlgItem(parent, id);
    if (child == nullptr)
        return;
    SetWindowPos(child, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    m_titleFont.reset(FitTitleOnOneLine(GetDlgItem(IDC_ABOUT_TITLE), w - 4));

    HWND ok = GetDlgItem(IDOK);
    RECT okRect = {};
    GetWindowRect(ok, &okRect);
    const int okWidth = okRect.right - okRect.left;
    const int okHeight = okRect.bottom - okRect.top;
    MoveChildTo(m_hWnd, IDOK, w - 10 - okWidth, h - 10 - okHeight);
    return TRUE;
}
