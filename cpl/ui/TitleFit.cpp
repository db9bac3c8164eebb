#include "TitleFit.h"

namespace {

// Width in pixels of a window's text drawn in the given font.
int TextWidth(HWND window, HFONT font, TEXTMETRICA* metrics = nullptr) {
    char text[128] = {};
    GetWindowTextA(window, text, sizeof(text));
    HDC dc = GetDC(window);
    if (dc == nullptr)
        return 0;
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
    if (metrics != nullptr)
        GetTextMetricsA(dc, metrics);
    if (previous != nullptr)
        SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return extent.cx + 2;
}

} // namespace

// Wine's dialog font is wider than Windows' Tahoma: there the about box's title would wrap and
// its version end up below the line, out of sight.
HFONT FitTitleOnOneLine(HWND title, int rightLimit) {
    RECT client;
    GetClientRect(title, &client);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(title, WM_GETFONT, 0, 0));
    TEXTMETRICA metrics = {};
    const int wanted = TextWidth(title, font, &metrics);
    if (wanted <= client.right)
        return nullptr;
    RECT placed;
    GetWindowRect(title, &placed);
    MapWindowPoints(nullptr, GetParent(title), reinterpret_cast<POINT*>(&placed), 2);
    const int room = rightLimit - placed.left;
    const int width = wanted <= room ? wanted : room;
    if (width > client.right)
        SetWindowPos(title, nullptr, 0, 0, width, client.bottom, SWP_NOMOVE | SWP_NOZORDER);
    LOGFONTA shape = {};
    if (wanted <= width || font == nullptr || GetObjectA(font, sizeof(shape), &shape) == 0)
        return nullptr;
    for (int average = metrics.tmAveCharWidth * width / wanted; average > 0; --average) {
        shape.lfWidth = average;
        HFONT narrower = CreateFontIndirectA(&shape);
        if (narrower == nullptr)
            return nullptr;
        if (TextWidth(title, narrower) <= width) {
            SendMessageA(title, WM_SETFONT, reinterpret_cast<WPARAM>(narrower), FALSE);
            return narrower;
        }
        DeleteObject(narrower);
    }
    return nullptr;
}
