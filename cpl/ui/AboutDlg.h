// The about box, opened from the main dialog's system menu: the picture with three lines on it.
#pragma once

#include "TransparentStatic.h"
#include "framework/Dialog.h"
#include "framework/WindowResources.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* parent = nullptr);

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

private:
    CTransparentStatic m_title;
    CTransparentStatic m_line2;
    CTransparentStatic m_line3;
    UniqueGdiObject m_titleFont; // only where the title needs narrower glyphs to fit
};
