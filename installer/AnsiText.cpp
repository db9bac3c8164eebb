#include "AnsiText.h"

#include <windows.h>

bool ToAnsi(const std::wstring& text, size_t limitBytes, std::string& out) {
    out.clear();
    if (text.empty() || text.size() > limitBytes)
        return false;
    const int units = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0 || static_cast<size_t>(bytes) + 1 > limitBytes)
        return false;
    out.resize(static_cast<size_t>(bytes));
    if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), units, out.data(), bytes, nullptr, nullptr) !=
        bytes) {
        out.clear();
        return false;
    }
    return true;
}

bool SurvivesAnsiCodePage(const std::wstring& text) {
    if (text.empty())
        return true;
    std::string ansi;
    if (!ToAnsi(text, text.size() * 2 + 1, ansi))
        return false;
    const int units =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (units <= 0)
        return false;
    std::wstring back(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), back.data(), units);
    return back == text;
}
