// A text field with a text colour of its own on the button-face background. The owning dialog
// writes the colour and redraws the field itself.
#pragma once

#include "framework/Window.h"
#include "framework/WindowResources.h"

class CColorStatic : public CWnd {
public:
    CColorStatic();

    COLORREF m_crTextColor = RGB(0, 0, 0);

    // Sets the text colour and redraws the field at once.
    void SetTextColorAndRedraw(COLORREF color);
    // The colour request the parent reflects, for static fields and edit fields alike.
    HBRUSH CtlColor(HDC dc, UINT ctlColorMessage) override;

private:
    COLORREF m_crBackColor;
    UniqueGdiObject m_backBrush;
};

// Invalidate, erase and update: how the dialogs make a new colour or text visible at once.
void RedrawNow(HWND window);
