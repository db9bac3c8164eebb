#include "SystemGeneration.h"

#include "common/WindowsVersion.h"

#include <windows.h>

namespace {

struct GenerationRow {
    DWORD platformId;
    DWORD major; // 0xFFFFFFFF: any
    DWORD minor; // 0xFFFFFFFF: any
    int generation;
};

constexpr DWORD kAny = 0xFFFFFFFF;

constexpr GenerationRow kGenerations[] = {
    {VER_PLATFORM_WIN32s, kAny, kAny, 0},   {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2}, {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3},
    {VER_PLATFORM_WIN32_NT, 5, 0, 5},       {VER_PLATFORM_WIN32_NT, 5, 1, 6},
    {VER_PLATFORM_WIN32_NT, 5, 2, 7},       {VER_PLATFORM_WIN32_NT, 6, kAny, kGenerationNt6},
};

} // namespace

bool classifySystemGeneration(int& generation) {
    OSVERSIONINFOEXA version;
    if (!ReadVersionRecord(version))
        return false;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion <= 4) {
        generation = 4;
        return true;
    }
    // Windows 8.1, 10 and 11 show a manifested host NT 10.0 (the same host without its manifest
    // sees 6.2): they take the NT 6 paths, the newest this driver knows.
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 6) {
        generation = kGenerationNt6;
        return true;
    }
    for (const GenerationRow& row : kGenerations) {
        if (row.platformId == version.dwPlatformId &&
            (row.major == kAny || row.major == version.dwMajorVersion) &&
            (row.minor == kAny || row.minor == version.dwMinorVersion)) {
            generation = row.generation;
            return true;
        }
    }
    return false; // 9x or NT 5.x of another minor, unknown platform
}
