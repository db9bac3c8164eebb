// The restart that finishes an installation, after a countdown the user sees.
#include "FinishingSteps.h"

#include "common/UniqueResource.h"
#include "ports/SystemFacts.h"

namespace {

bool setShutdownPrivilege(SystemFacts& facts, HANDLE token, const LUID& privilege, bool on) {
    TOKEN_PRIVILEGES change = {};
    change.PrivilegeCount = 1;
    change.Privileges[0].Luid = privilege;
    change.Privileges[0].Attributes = on ? SE_PRIVILEGE_ENABLED : 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL done = facts.adjustTokenPrivileges(token, &change);
    // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold the privilege at all.
    return done && GetLastError() == ERROR_SUCCESS;
}

} // namespace

bool RequestRestart() {
    SystemFacts& facts = systemFacts();
    HANDLE raw = nullptr;
    if (!facts.openProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        return false;
    UniqueHandle token(raw);
    LUID privilege = {};
    if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privilege))
        return false;
    if (!setShutdownPrivilege(facts, token.get(), privilege, true))
        return false;
    wchar_t notice[sizeof(kRestartNotice) / sizeof(wchar_t)];
    lstrcpynW(notice, kRestartNotice, static_cast<int>(sizeof(notice) / sizeof(wchar_t)));
    const bool asked =
        facts.initiateSystemShutdown(notice, kRestartCountdownSeconds, FALSE, TRUE) != FALSE;
    setShutdownPrivilege(facts, token.get(), privilege, false);
    return asked;
}
