#include "Application.h"

#include "Window.h"

namespace {

CApplication* g_current = nullptr;

void readAppName(char (&name)[MAX_PATH]) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/')
            base = p + 1;
    }
    lstrcpynA(name, base, MAX_PATH);
    char* dot = nullptr;
    for (char* p = name; *p != '\0'; ++p) {
        if (*p == '.')
            dot = p;
    }
    if (dot != nullptr)
        *dot = '\0';
}

} // namespace

CApplication::CApplication() {
    g_current = this;
}

CApplication::~CApplication() {
    if (g_current == this)
        g_current = nullptr;
}

CApplication* CApplication::Current() {
    return g_current;
}

int CApplication::Run() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int CApplication::ShowMessage(const char* text, UINT type, const char* caption) const {
    HWND owner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : m_hMainWnd;
    return ::MessageBoxA(owner, text, caption != nullptr ? caption : m_pszAppName, type);
}

const wchar_t* SkipProgramName(const wchar_t* commandLine) {
    if (commandLine == nullptr)
        return L"";
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

int RunApplication(HINSTANCE instance) {
    CApplication* app = CApplication::Current();
    if (app == nullptr)
        return 1;
    try {
        app->m_hInstance = instance;
        readAppName(app->m_pszAppName);
        app->m_lpCmdLine = SkipProgramName(GetCommandLineW());
        int exitCode = 0;
        if (app->InitInstance())
            exitCode = app->Run();
        return app->ExitInstance(exitCode);
    } catch (...) {
        OutputDebugStringA("unexpected failure caught at the program's start-up");
        return 1;
    }
}
