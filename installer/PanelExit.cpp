#include "PanelExit.h"

#include "common/PanelCommands.h"

#include <windows.h>

namespace {

constexpr char kUtilityWindowTitle[] = "Quenvora-K9 USB Audio Driver Install/Uninstall Utility";
// A window that has not answered in this time is hung; the run goes on without it.
constexpr UINT kAnswerTimeoutMs = 10000;

} // namespace

void SendExitCommand(const char* windowTitle) {
    HWND window = FindWindowA(nullptr, windowTitle);
    if (window == nullptr)
        return;
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_COMMAND, ID_CPL_EXIT, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kAnswerTimeoutMs, &answer);
}

void AskPanelsToExit() {
    SendExitCommand(kPanelWindowTitle);
    SendExitCommand(kUtilityWindowTitle);
}
