// How the installer starts other programs and waits between steps. The real one is the shell, the
// runtime's command interpreter and Sleep; tests put a recorder in its place.
#pragma once

#include <windows.h>
#include <shellapi.h>

class ShellSeam {
public:
    virtual ~ShellSeam() = default;
    virtual BOOL executeEx(SHELLEXECUTEINFOW* info) = 0;
    virtual HINSTANCE execute(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                              int show) = 0;
    // The runtime's system(): the command interpreter runs `command` and is waited for.
    virtual int runCommand(const char* command) = 0;
    virtual void pause(DWORD milliseconds) = 0;
};

ShellSeam& systemShell();
