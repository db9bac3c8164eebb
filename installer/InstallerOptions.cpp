#include "InstallerOptions.h"

#include <cwchar>

namespace {

// The first occurrence of `marker` anywhere in the line, or npos.
size_t find(const std::wstring& line, const wchar_t* marker) {
    return line.find(marker);
}

// The text from `start` up to the next comma or the end; empty when longer than the limit.
std::wstring valueFrom(const std::wstring& line, size_t start) {
    if (start == std::wstring::npos || start > line.size())
        return {};
    const size_t end = line.find(L',', start);
    const size_t length = (end == std::wstring::npos ? line.size() : end) - start;
    if (length > kOptionValueLimit)
        return {};
    return line.substr(start, length);
}

std::wstring valueAfter(const std::wstring& line, const wchar_t* marker) {
    const size_t at = find(line, marker);
    return at == std::wstring::npos ? std::wstring() : valueFrom(line, at + std::wcslen(marker));
}

} // namespace

std::wstring NormaliseCommandLine(const wchar_t* commandLine) {
    std::wstring line;
    if (commandLine == nullptr)
        return line;
    bool quoted = false;
    for (const wchar_t* p = commandLine; *p != L'\0'; ++p) {
        wchar_t c = *p;
        if (c == L'"') {
            quoted = !quoted;
            continue;
        }
        if (c == L' ' && !quoted)
            continue;
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
        line.push_back(c);
    }
    return line;
}

InstallerOptions ParseInstallerOptions(const wchar_t* commandLine) {
    InstallerOptions options;
    if (commandLine != nullptr && std::wcslen(commandLine) >= kCommandLineUnits) {
        options.accepted = false;
        return options;
    }
    const std::wstring line = NormaliseCommandLine(commandLine);
    options.uninstall = find(line, L"/U") != std::wstring::npos;
    options.autostart = find(line, L"/A") != std::wstring::npos;
    options.restart = find(line, L"/R") != std::wstring::npos;
    options.asioRegistration = find(line, L"/O") != std::wstring::npos;
    options.certificates = find(line, L"/C") != std::wstring::npos;
    options.hardwareId = valueFrom(line, find(line, L"USB"));
    options.infSection = valueAfter(line, L"/S");
    options.infPath = valueAfter(line, L"/D");
    return options;
}

bool DriverStageGateOpen(const InstallerOptions& options, WindowsVersionCode versionCode,
                         bool (*fileExists)(const wchar_t* path)) {
    // USB\VID_xxxx&PID_yyyy
    constexpr size_t kShortestHardwareId = 21;
    if (options.hardwareId.size() < kShortestHardwareId)
        return false;
    if (options.uninstall && options.infSection.size() < 3)
        return false;
    if (!options.uninstall && (options.infPath.size() < 7 || fileExists == nullptr ||
                               !fileExists(options.infPath.c_str())))
        return false;
    return versionCode >= 5 && versionCode <= 11;
}

bool FileMatchExists(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}
