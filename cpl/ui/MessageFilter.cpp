#include "MessageFilter.h"

namespace {

// MSGFLT_ALLOW of both functions.
constexpr DWORD kAllow = 1;

using FilterForWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using FilterForProcess = BOOL(WINAPI*)(UINT, DWORD);

template <typename Function>
Function LookUp(const char* name) {
    HMODULE user = GetModuleHandleA("user32.dll");
    if (user == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

} // namespace

AllowedMessages MessagesFromOtherPrograms(UINT taskbarCreated) {
    AllowedMessages allowed = {{WM_COMMAND, 0}, 1};
    if (taskbarCreated != 0)
        allowed.messages[allowed.count++] = taskbarCreated;
    return allowed;
}

int AllowMessagesFromOtherPrograms(HWND window, UINT taskbarCreated) {
    const AllowedMessages allowed = MessagesFromOtherPrograms(taskbarCreated);
    int done = 0;
    if (auto forWindow = LookUp<FilterForWindow>("ChangeWindowMessageFilterEx")) {
        for (int i = 0; i < allowed.count; ++i)
            done += forWindow(window, allowed.messages[i], kAllow, nullptr) ? 1 : 0;
    } else if (auto forProcess = LookUp<FilterForProcess>("ChangeWindowMessageFilter")) {
        for (int i = 0; i < allowed.count; ++i)
            done += forProcess(allowed.messages[i], kAllow) ? 1 : 0;
    }
    return done;
}
