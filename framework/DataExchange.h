// Control binding: DoDataExchange lists the dialog's control objects with their item ids and
// DDX_Control subclasses each item once.
#pragma once

#include <windows.h>

class CDialog;
class CWnd;

struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `control` to dialog item `id` of the exchanging dialog, the first time only.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);
