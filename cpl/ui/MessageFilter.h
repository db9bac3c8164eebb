// The panel runs elevated; on Windows 6.x a window of an elevated program receives a message
// from a program of lower integrity (an ASIO host, the shell) only when the window allows it.
#pragma once

#include <windows.h>

// The messages other programs send to the panel's window: WM_COMMAND (the ASIO driver's notices
// and the installer's exit command) and the shell's "TaskbarCreated".
struct AllowedMessages {
    UINT messages[2];
    int count;
};
AllowedMessages MessagesFromOtherPrograms(UINT taskbarCreated);

// Allows them through ChangeWindowMessageFilterEx (6.1 and later, this window only) or
// ChangeWindowMessageFilter (6.0, the whole process), looked up at run time because Windows
// 2000 to XP have neither. Returns how many were allowed; 0 on systems without a filter.
int AllowMessagesFromOtherPrograms(HWND window, UINT taskbarCreated);
