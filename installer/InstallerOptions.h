// What the package's setup program asks of one run: read once from the command line.
#pragma once

#include "common/WindowsVersion.h"

#include <string>

// The command line is read from a buffer of this many UTF-16 units, terminator included.
constexpr size_t kCommandLineUnits = 520;
// Longest hardware id, section or INF path taken from the command line.
constexpr size_t kOptionValueLimit = 259;

struct InstallerOptions {
    // False when the command line is longer than its buffer: such a run does nothing at all.
    bool accepted = true;
    bool uninstall = false;
    bool autostart = false;
    bool asioRegistration = false;
    bool certificates = false;
    bool restart = false;
    // Upper case. A value longer than kOptionValueLimit is dropped (left empty) rather than cut:
    // a shortened id or section would match more devices and INF files than the caller named.
    std::wstring hardwareId;
    std::wstring infSection;
    std::wstring infPath;
};

// Upper-cases a to z only, drops every quotation mark and every blank outside quotes.
std::wstring NormaliseCommandLine(const wchar_t* commandLine);
InstallerOptions ParseInstallerOptions(const wchar_t* commandLine);

// The checks that let the driver stage run. `fileExists` answers whether a file matches infPath.
bool DriverStageGateOpen(const InstallerOptions& options, WindowsVersionCode versionCode,
                         bool (*fileExists)(const wchar_t* path));
// FindFirstFile finds a match.
bool FileMatchExists(const wchar_t* path);
