#include "CrashGuard.h"

#include "ExitCodes.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace asiohost {

namespace {

std::atomic<const char*> currentCall{nullptr};
DWORD mainThreadId = 0;
char context[256] = {};

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    const char* call = currentCall.load();
    const bool onMain = GetCurrentThreadId() == mainThreadId;
    std::fflush(stdout);
    if (context[0] != '\0')
        std::fprintf(stderr, "\n%s", context);
    std::fprintf(stderr, "\nQvK9AsioHost: unhandled exception 0x%08lX at %p on the %s",
                 record != nullptr ? record->ExceptionCode : 0UL,
                 record != nullptr ? record->ExceptionAddress : nullptr,
                 onMain ? "host's main thread"
                        : "driver's thread (inside a callback or the driver)");
    if (onMain && call != nullptr)
        std::fprintf(stderr, ", during the driver's %s", call);
    std::fprintf(stderr, ".\n");
    std::fflush(stderr);
    ExitProcess(kExitDriverFailure);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void installCrashReport() {
    mainThreadId = GetCurrentThreadId();
    SetUnhandledExceptionFilter(reportCrash);
}

void setCrashContext(const char* text) {
    lstrcpynA(context, text != nullptr ? text : "", sizeof context);
}

const char* currentDriverCall() {
    return currentCall.load();
}

DriverCallScope::DriverCallScope(const char* operation)
    : previous_(currentCall.exchange(operation)) {}

DriverCallScope::~DriverCallScope() {
    currentCall.store(previous_);
}

} // namespace asiohost
