#include "PanelProcess.h"

#include "TestProcess.h"
#include "common/PanelCommands.h"

#include <commctrl.h>

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kStopTimeoutMs = 10000;

struct PageSearch {
    int id;
    HWND found;
};

BOOL CALLBACK findPage(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<PageSearch*>(context);
    char className[16] = {};
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpA(className, "#32770") == 0 && GetDlgItem(child, search->id) != nullptr) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::string simPanelPath() {
    return testProgramFolder() + "..\\bin\\sim\\QvK9CPL.exe";
}
std::string shippedPanelPath() {
    // The 32-bit program that ships lies in the build tree above the 64-bit tests; a tree
    // built on its own has its own.
    const std::string shipped = testProgramFolder() + "..\\..\\bin\\QvK9CPL.exe";
    if (GetFileAttributesA(shipped.c_str()) != INVALID_FILE_ATTRIBUTES)
        return shipped;
    return testProgramFolder() + "..\\bin\\QvK9CPL.exe";
}

bool PanelProcess::launch(const std::string& path) {
    process_ = startProcess("\"" + path + "\"");
    return process_.valid();
}

bool PanelProcess::start(const std::string& path) {
    if (!launch(path))
        return false;
    const bool up = waitUntil(
        [&] {
            window_ = FindWindowA(nullptr, kPanelWindowTitle);
            return window_ != nullptr || !running();
        },
        kStartTimeoutMs);
    if (!up || window_ == nullptr)
        return false;
    // The window answers once its initialisation is over.
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, kStartTimeoutMs, &ignored) != 0;
}

bool PanelProcess::attach(DWORD timeoutMs) {
    if (!waitUntil([&] { return (window_ = FindWindowA(nullptr, kPanelWindowTitle)) != nullptr; },
                   timeoutMs))
        return false;
    DWORD id = 0;
    GetWindowThreadProcessId(window_, &id);
    process_.reset(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, id));
    DWORD_PTR ignored = 0;
    return process_.valid() &&
           SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored) != 0;
}

bool PanelProcess::running() const {
    return process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool PanelProcess::waitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_.valid())
        return true;
    // Windows of the test's own thread keep answering while it waits (a second panel that
    // finds one of them shows it, which needs an answer).
    const DWORD start = GetTickCount();
    HANDLE process = process_.get();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs - spent, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            break;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    if (exitCode != nullptr)
        GetExitCodeProcess(process_.get(), exitCode);
    return true;
}

void PanelProcess::stop() {
    if (!process_.valid())
        return;
    if (running() && window_ != nullptr && IsWindow(window_)) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window_, WM_COMMAND, ID_CPL_EXIT, 0, SMTO_NORMAL, kStopTimeoutMs,
                            &ignored);
    }
    if (WaitForSingleObject(process_.get(), kStopTimeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(process_.get(), 1);
    process_.reset();
    window_ = nullptr;
}

HWND PanelProcess::page(int controlId) const {
    PageSearch search{controlId, nullptr};
    if (window_ != nullptr)
        EnumChildWindows(window_, findPage, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND PanelProcess::control(int id) const {
    if (HWND own = GetDlgItem(window_, id))
        return own;
    HWND holder = page(id);
    return holder != nullptr ? GetDlgItem(holder, id) : nullptr;
}

std::string PanelProcess::text(int id) const {
    char buffer[512] = {};
    SendMessageA(control(id), WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::string PanelProcess::comboText(int id, int index) const {
    HWND combo = control(id);
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR)
        return "<none>";
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide.data()));
    return std::string(wide.begin(), wide.begin() + length);
}

int PanelProcess::comboSelection(int id) const {
    return static_cast<int>(SendMessageA(control(id), CB_GETCURSEL, 0, 0));
}

int PanelProcess::comboCount(int id) const {
    return static_cast<int>(SendMessageA(control(id), CB_GETCOUNT, 0, 0));
}

void PanelProcess::command(UINT code) const {
    SendMessageA(window_, WM_COMMAND, code, 0);
}

void PanelProcess::chooseCombo(int id, int index) const {
    HWND combo = control(id);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

void PanelProcess::moveSlider(int id, int position) const {
    HWND slider = control(id);
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    SendMessageA(GetParent(slider), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
}

void PanelProcess::click(int id) const {
    PostMessageA(control(id), BM_CLICK, 0, 0);
}

bool waitVisible(HWND window, bool visible, DWORD timeoutMs) {
    return waitUntil([&] { return (IsWindowVisible(window) != FALSE) == visible; }, timeoutMs);
}

bool waitText(const PanelProcess& panel, int id, const std::string& expected, DWORD timeoutMs) {
    return waitUntil([&] { return panel.text(id) == expected; }, timeoutMs);
}
