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
};

SystemFacts& systemFacts();
