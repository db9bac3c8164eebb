#include "Dialog.h"

#include "Application.h"

namespace {

// Messages whose dialog-procedure return value is the answer itself rather than a handled flag.
bool AnswersDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

HINSTANCE ResourceModule() {
    CApplication* app = CApplication::Current();
    return app != nullptr && app->m_hInstance != nullptr ? app->m_hInstance
                                                         : GetModuleHandleA(nullptr);
}

} // namespace

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
    if (exchange == nullptr || exchange->m_pDlgWnd == nullptr || control.m_hWnd != nullptr)
        return;
    if (!control.SubclassDlgItem(id, *exchange->m_pDlgWnd))
        OutputDebugStringA("QvK9: a dialog control could not be bound\n");
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    // The window may outlive the derived parts of this object by a few messages: it stops
    // reaching this object before it is destroyed.
    HWND window = m_hWnd;
    if (window != nullptr) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        Detach();
        ::DestroyWindow(window);
    }
}

HWND CDialog::CreateFromTemplate(HWND parent) {
    return CreateDialogParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId), parent,
                              &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd != nullptr)
        return FALSE;
    m_templateId = templateId;
    m_parent = parent;
    m_modal = false;
    return CreateFromTemplate(parent != nullptr ? parent->m_hWnd : nullptr) != nullptr;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr)
        return -1;
    HWND owner = m_parent != nullptr ? m_parent->m_hWnd : nullptr;
    m_modal = true;
    m_modalEnded = false;
    m_modalResult = -1;
    if (CreateFromTemplate(owner) == nullptr) {
        m_modal = false;
        return -1;
    }
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    // A dialog that ended inside its own initialisation is never shown.
    if (!m_modalEnded && m_hWnd != nullptr && !IsWindowVisible(m_hWnd))
        ShowWindow(m_hWnd, SW_SHOWNORMAL);
    RunModalLoop();
    if (ownerWasEnabled)
        EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr)
        DestroyWindow();
    m_modal = false;
    return m_modalResult;
}

void CDialog::RunModalLoop() {
    MSG message;
    while (!m_modalEnded && m_hWnd != nullptr) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit for the loop outside.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        if (!IsDialogMessageA(m_hWnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void CDialog::EndDialog(INT_PTR result) {
    m_modalResult = result;
    m_modalEnded = true;
    // The end may come inside a message another thread or process sent; the loop is woken.
    if (m_hWnd != nullptr)
        PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange{this, saveAndValidate};
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    LRESULT ignored = 0;
    if (OnMessage(WM_COMMAND, wParam, lParam, ignored))
        return TRUE;
    if (HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (self != nullptr)
            self->Attach(window);
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    if (self == nullptr)
        return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        self->Detach();
        return FALSE;
    }
    return GuardedWindowCall(
        [&]() -> INT_PTR {
            LRESULT result = 0;
            bool handled;
            if (message == WM_INITDIALOG) {
                result = self->OnInitDialog();
                handled = true;
            } else {
                handled = self->Dispatch(message, wParam, lParam, result);
            }
            if (!handled)
                return FALSE;
            if (AnswersDirectly(message))
                return static_cast<INT_PTR>(result);
            SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
            return TRUE;
        },
        static_cast<INT_PTR>(FALSE));
}
