// UTF-16 to the ANSI code page, for the runtime's file and command functions.
#pragma once

#include <string>

// The text in the ANSI code page; false when it cannot be converted, is empty, or needs more
// than `limitBytes` bytes with its terminator.
bool ToAnsi(const std::wstring& text, size_t limitBytes, std::string& out);
// Whether `text` comes back unchanged from the ANSI code page: false when a character of it has
// no place there (it would come out as "?" or as a look-alike).
bool SurvivesAnsiCodePage(const std::wstring& text);
