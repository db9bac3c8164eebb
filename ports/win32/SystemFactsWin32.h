// The real system facts. The simulated machine builds on it for what it does not simulate.
#pragma once

#include "ports/SystemFacts.h"

class SystemFactsWin32 : public SystemFacts {
public:
    BOOL getVersionEx(OSVERSIONINFOA* info) override;
    bool getNativeSystemInfo(SYSTEM_INFO* info) override;
    void getSystemInfo(SYSTEM_INFO* info) override;
    BOOL openProcessToken(DWORD access, HANDLE* token) override;
    BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                             DWORD size, DWORD* returned) override;
    BOOL adjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES* newState) override;
    BOOL initiateSystemShutdown(wchar_t* message, DWORD timeoutSeconds, BOOL forceAppsClosed,
                                BOOL reboot) override;
};
