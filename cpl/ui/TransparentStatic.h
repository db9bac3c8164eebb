// A static text drawn without background, so that a picture behind it shows around the letters.
#pragma once

#include "framework/Window.h"

class CTransparentStatic : public CWnd {
public:
    // The text-drawing flags that the static styles of `style` ask for.
    static UINT DrawFlagsForStyle(LONG_PTR style);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    static const MessageEntry<CTransparentStatic> kMessageMap[];
};
