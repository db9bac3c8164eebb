// The dialog object: a window built from a dialog template of this program's resources, either
// modal (DoModal runs its own message loop until EndDialog) or a modeless child page (Create).
#pragma once

#include "DataExchange.h"
#include "Window.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the dialog, runs it until EndDialog and then ends it through DestroyWindow, so that
    // a dialog's own DestroyWindow runs when its modal loop ends. Returns EndDialog's result,
    // or -1 when the dialog could not be created.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window, for instance a page inside a parent dialog.
    BOOL Create(UINT templateId, CWnd* parent);

    // WM_INITDIALOG: binds the controls (UpdateData(FALSE)); TRUE gives the focus to the first
    // control.
    virtual BOOL OnInitDialog();
    // Binds the dialog's control objects to their items (DDX_Control).
    virtual void DoDataExchange(CDataExchange* exchange);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // IDOK and IDCANCEL (also the caption's close box) end a modal dialog.
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(INT_PTR result);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    UINT TemplateId() const { return m_templateId; }

protected:
    // Commands go through the class's table first; IDOK and IDCANCEL then end the dialog.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(HWND parent);
    void RunModalLoop();

    UINT m_templateId;
    CWnd* m_parent;
    bool m_modal = false;
    bool m_modalEnded = false;
    INT_PTR m_modalResult = -1;
};
