// Port: facts about the running system that only a real Windows installation can answer.
#pragma once

#include <windows.h>

class SystemFacts {
public:
    virtual ~SystemFacts() = default;

    // GetVersionExA: the record's dwOSVersionInfoSize says whether the extended form is asked.
    virtual BOOL getVersionEx(OSVERSIONINFOA* info) = 0;
    // GetNativeSystemInfo where kernel32 exports it; false (and nothing filled) where not.
    virtual bool getNativeSystemInfo(SYSTEM_INFO* info) = 0;
    virtual void getSystemInfo(SYSTEM_INFO* info) = 0;
    virtual BOOL openProcessToken(DWORD access, HANDLE* token) = 0;
    virtual BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                                     DWORD size, DWORD* returned) = 0;
    // AdjustTokenPrivileges without the previous state; the last error tells, as there, whether
    // every privilege asked for was assigned.
    virtual BOOL adjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES* newState) = 0;
    // InitiateSystemShutdown on the local machine.
    virtual BOOL initiateSystemShutdown(wchar_t* message, DWORD timeoutSeconds,
                                        BOOL forceAppsClosed, BOOL reboot) = 0;
};

SystemFacts& systemFacts();
