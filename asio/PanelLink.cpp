// Commands to the control panel's window, found by its title.
#include "AsioSample.h"

#include "Discovery.h"
#include "StreamEngine.h"
#include "common/PanelCommands.h"

namespace {

// The panel answers within a message; a panel that hangs must not hang the host's audio.
constexpr UINT kPanelReplyTimeoutMs = 5000;

} // namespace

bool AsioSample::speaksForDevice() const {
    const AsioSample* owner = engine().deviceOwner.load();
    if (owner != nullptr)
        return owner == this;
    // Nobody here holds the device; a driver in another host may.
    return !deviceClaimedElsewhere();
}

void AsioSample::notify(unsigned command) const {
    if (command != ASIOWM_SHOWCPL && !speaksForDevice())
        return;
    HWND panel = FindWindowA(nullptr, kPanelWindowTitle);
    if (panel == nullptr || panel == INVALID_HANDLE_VALUE)
        return;
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(panel, WM_COMMAND, command, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kPanelReplyTimeoutMs, &reply);
}
