// Keeps a one-line text whole where the dialog font is wider than its template assumed.
#pragma once

#include <windows.h>

// The text control grows to the right up to rightLimit (its parent's client pixels); if the
// text still does not fit on one line, the control gets a font with narrower glyphs that fits.
// Returns that font, which the caller owns and deletes after the control, or nullptr.
HFONT FitTitleOnOneLine(HWND title, int rightLimit);
