// How the installer starts other programs and waits between steps. The real one is the shell,
// CreateProcess and Sleep; tests put a recorder in its place.
#pragma once

#include <windows.h>
#include <shellapi.h>

// How a tool the run waited for came out of it.
enum class ToolOutcome {
    kEnded,      // it ran to its end; its exit code is known
    kNotStarted, // it could not be started
    kTimedOut,   // it did not end within the bound and was ended
};

class ShellSeam {
public:
    virtual ~ShellSeam() = default;
    virtual BOOL executeEx(SHELLEXECUTEINFOW* info) = 0;
    virtual HINSTANCE execute(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                              int show) = 0;
    // Starts `program` (a full path) with `commandLine` (which names the program first), in
    // `directory`, without a console window or any shell, and waits at most `timeoutMs` for it.
    virtual ToolOutcome runProgram(const wchar_t* program, const wchar_t* commandLine,
                                   const wchar_t* directory, DWORD timeoutMs, DWORD* exitCode) = 0;
    virtual void pause(DWORD milliseconds) = 0;
};

ShellSeam& systemShell();

// Waits at most `timeoutMs` for a started tool; one that does not end in time is ended, so that
// it cannot finish its step behind the run's back.
ToolOutcome WaitForTool(HANDLE process, DWORD timeoutMs, DWORD* exitCode);
