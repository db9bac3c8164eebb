// Commands to the control panel's window, found by its title.
#include "AsioSample.h"

#include "common/PanelCommands.h"

namespace {

// The panel answers within a message; a panel that hangs must not hang the host's audio.
constexpr UINT kPanelReplyTimeoutMs = 5000;

} // namespace

void AsioSample::notify(unsigned command) const {
    HWND panel = FindWindowA(nullptr, kPanelWindowTitle);
    if (panel == nullptr || panel == INVALID_HANDLE_VALUE)
        return;
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(panel, WM_COMMAND, command, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kPanelReplyTimeoutMs, &reply);
}
