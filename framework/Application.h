// The application object: one per program. Its start-up (InitInstance) runs the program; when
// start-up returns FALSE the program ends without ever entering a message loop.
#pragma once

#include <windows.h>

class CWnd;

class CApplication {
public:
    CApplication();
    virtual ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    // The program's start-up. TRUE runs the message loop (Run), FALSE ends the program.
    virtual BOOL InitInstance() { return TRUE; }
    // The message loop; its result is the exit code handed to ExitInstance.
    virtual int Run();
    virtual int ExitInstance(int exitCode) { return exitCode; }

    // Kept for programs that ask for them; nothing is stored through the registry key.
    void SetRegistryKey(const char* key) { m_pszRegistryKey = key; }
    void EnableControlContainer() {}

    // A message box owned by the main window; a null caption shows the program's name.
    int ShowMessage(const char* text, UINT type = MB_OK, const char* caption = nullptr) const;

    // The one application object of this program, or null before it is constructed.
    static CApplication* Current();

    HINSTANCE m_hInstance = nullptr;
    // The executable's base name without extension, for example "QvK9CPL".
    char m_pszAppName[MAX_PATH] = {};
    // The command line after the program's own name, as UTF-16.
    const wchar_t* m_lpCmdLine = L"";
    const char* m_pszRegistryKey = nullptr;
    HWND m_hMainWnd = nullptr;
    // The program's main window object while it runs; it owns the message boxes.
    CWnd* m_pMainWnd = nullptr;
};

// Called by the program's entry point: fills the object's module facts and runs it.
int RunApplication(HINSTANCE instance);

// The command line after the program's name: skips a quoted or plain first token and the
// blanks behind it.
const wchar_t* SkipProgramName(const wchar_t* commandLine);
