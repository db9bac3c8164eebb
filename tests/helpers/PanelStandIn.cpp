// Stands in for the control panel in multi-process tests: a window with the panel's title that
// records every command it receives together with the shared block as it saw it then, and
// answers the block's show request as the panel does.
//
// PanelStandIn.exe [--panel-first BITS FRAMES USE]
//   --panel-first: write the panel's choices into the block right after opening it.
#include "common/PanelCommands.h"
#include "common/SharedBlockAccess.h"
#include "support/PanelLog.h"

#include <cstdlib>
#include <cstring>

namespace {

SharedBlockAccess sharedBlock;
NamedMapping logMapping;

void record(uint32_t command) {
    PanelLog* log = panelLogOf(logMapping);
    if (log == nullptr)
        return;
    const LONG index = log->count;
    if (index >= kPanelLogCapacity)
        return;
    PanelLogEntry& e = log->entries[index];
    e.command = command;
    e.blockValid = sharedBlock.valid() != nullptr;
    if (sharedBlock.raw() != nullptr)
        std::memcpy(&e.block, sharedBlock.raw(), sizeof(AsioSharedBlock));
    InterlockedIncrement(&log->count);
}

LRESULT CALLBACK standInProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        if (wParam == ID_CPL_EXIT) {
            DestroyWindow(window);
            return 0;
        }
        record(static_cast<uint32_t>(wParam));
        return 0;
    case WM_TIMER:
        if (AsioSharedBlock* b = sharedBlock.valid(); b != nullptr && b->showPanelRequest != 0) {
            b->showPanelRequest = 0;
            record(kShowRequestSeen);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, msg, wParam, lParam);
    }
}

} // namespace

int main(int argc, char** argv) {
    sharedBlock.open();
    if (argc == 5 && std::strcmp(argv[1], "--panel-first") == 0) {
        if (AsioSharedBlock* b = sharedBlock.valid()) {
            b->requestedBits = std::atoi(argv[2]);
            b->requestedFrames = std::atoi(argv[3]);
            b->useRequestedFrames = std::atoi(argv[4]);
        }
    }
    logMapping = openPanelLog();
    if (PanelLog* log = panelLogOf(logMapping))
        log->standInPid = GetCurrentProcessId();

    WNDCLASSA cls = {};
    cls.lpfnWndProc = standInProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "QvK9PanelStandIn";
    RegisterClassA(&cls);
    HWND window = CreateWindowA(cls.lpszClassName, kPanelWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                100, 100, nullptr, nullptr, cls.hInstance, nullptr);
    if (window == nullptr)
        return 1;
    SetTimer(window, 1, 100, nullptr);

    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, kPanelQuitEventName);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kPanelReadyEventName);
    SetEvent(ready);

    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            break;
        MSG msg;
        bool done = false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                done = true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done)
            break;
    }
    if (IsWindow(window))
        DestroyWindow(window);
    CloseHandle(ready);
    CloseHandle(quit);
    return 0;
}
