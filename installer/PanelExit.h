// Asking a running control panel to end.
#pragma once

// The exit command to the top-level window with exactly this title, when there is one.
void SendExitCommand(const char* windowTitle);
// The control panel first, then the package's old install utility window.
void AskPanelsToExit();
