// controlPanel: bring the running panel forward, or start it from the driver's own folder.
#include "AsioSample.h"

#include "DriverIdentity.h"
#include "GuardedCall.h"
#include "common/PanelCommands.h"
#include "common/UniqueResource.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kClsidTextBytes = 100;
constexpr size_t kPathBytes = 1024;

HWND findPanel() {
    HWND panel = FindWindowA(nullptr, kPanelWindowTitle);
    return panel == INVALID_HANDLE_VALUE ? nullptr : panel;
}

// The folder the registration points at, with the panel's file name appended.
bool panelProgramPath(char* path) {
    LPOLESTR wide = nullptr;
    if (FAILED(StringFromCLSID(CLSID_QvK9Asio, &wide)))
        return false;
    char clsid[kClsidTextBytes] = {};
    const int converted =
        WideCharToMultiByte(CP_ACP, 0, wide, -1, clsid, sizeof(clsid), nullptr, nullptr);
    CoTaskMemFree(wide);
    if (converted == 0)
        return false;

    char keyPath[kClsidTextBytes + 32];
    std::snprintf(keyPath, sizeof(keyPath), "CLSID\\%s\\InprocServer32", clsid);
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return false;
    UniqueRegKey key(raw);
    DWORD type = 0;
    DWORD size = kPathBytes - 1; // room to terminate whatever is stored
    std::memset(path, 0, kPathBytes);
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS)
        return false;

    char* lastSlash = std::strrchr(path, '\\');
    if (lastSlash != nullptr)
        lastSlash[1] = '\0';
    else
        path[0] = '\0';
    const size_t used = std::strlen(path);
    if (used + sizeof(kPanelProgramName) > kPathBytes)
        return false;
    std::memcpy(path + used, kPanelProgramName, sizeof(kPanelProgramName));
    return true;
}

} // namespace

ASIOError AsioSample::controlPanel() {
    return guarded<ASIOError>(ASE_NotPresent, [&] {
        if (HWND panel = findPanel()) {
            if (AsioSharedBlock* b = panelSide())
                b->showPanelRequest = 1;
            ShowWindow(panel, SW_SHOWNORMAL);
            notify(ASIOWM_SHOWCPL);
            return ASE_OK;
        }
        char path[kPathBytes];
        if (!panelProgramPath(path))
            return ASE_NotPresent;
        ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
        // The new program has seldom made its window yet; the request in the block makes it
        // show itself once it runs.
        notify(ASIOWM_SHOWCPL);
        if (AsioSharedBlock* b = panelSide())
            b->showPanelRequest = 1;
        return ASE_OK;
    });
}
