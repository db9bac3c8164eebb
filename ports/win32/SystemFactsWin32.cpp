#include "SystemFactsWin32.h"

BOOL SystemFactsWin32::getVersionEx(OSVERSIONINFOA* info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(info);
#pragma GCC diagnostic pop
}

// Looked up by name: kernel32 of Windows 2000 has no GetNativeSystemInfo.
bool SystemFactsWin32::getNativeSystemInfo(SYSTEM_INFO* info) {
    using Fn = void(WINAPI*)(SYSTEM_INFO*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto fn = kernel != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "GetNativeSystemInfo")))
                                : nullptr;
    if (fn == nullptr)
        return false;
    fn(info);
    return true;
}

void SystemFactsWin32::getSystemInfo(SYSTEM_INFO* info) {
    GetSystemInfo(info);
}

BOOL SystemFactsWin32::openProcessToken(DWORD access, HANDLE* token) {
    return OpenProcessToken(GetCurrentProcess(), access, token);
}

BOOL SystemFactsWin32::getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, void* info,
                                           DWORD size, DWORD* returned) {
    return GetTokenInformation(token, cls, info, size, returned);
}

BOOL SystemFactsWin32::adjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES* newState) {
    return AdjustTokenPrivileges(token, FALSE, newState, 0, nullptr, nullptr);
}

BOOL SystemFactsWin32::initiateSystemShutdown(wchar_t* message, DWORD timeoutSeconds,
                                              BOOL forceAppsClosed, BOOL reboot) {
    return InitiateSystemShutdownW(nullptr, message, timeoutSeconds, forceAppsClosed, reboot);
}
