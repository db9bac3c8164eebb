#include "CrashGuard.h"

#include "ExitCodes.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

namespace asiohost {

namespace {

std::atomic<const char*> currentCall{nullptr};
DWORD mainThreadId = 0;
char context[256] = {};

// Says what ended the process, where, and in which session, before it ends.
[[noreturn]] void reportEnd(const char* what) {
    const char* call = currentCall.load();
    const bool onMain = GetCurrentThreadId() == mainThreadId;
    std::fflush(stdout);
    if (context[0] != '\0')
        std::fprintf(stderr, "\n%s", context);
    std::fprintf(stderr, "\nQvK9AsioHost: %s on the %s", what,
                 onMain ? "host's main thread"
                        : "driver's thread (inside a callback or the driver)");
    if (onMain && call != nullptr)
        std::fprintf(stderr, ", during the driver's %s", call);
    std::fprintf(stderr, ".\n");
    std::fflush(stderr);
    ExitProcess(kExitDriverFailure);
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    char what[96] = {};
    std::snprintf(what, sizeof what, "unhandled exception 0x%08lX at %p",
                  record != nullptr ? record->ExceptionCode : 0UL,
                  record != nullptr ? record->ExceptionAddress : nullptr);
    reportEnd(what);
}

// abort() (std::terminate's end too) ends the process without an exception, and without a word
// where there is no console for the runtime's own message.
void reportAbort(int) {
    reportEnd("abort() called");
}

void reportTerminate() {
    reportEnd("std::terminate called (an exception left a thread or a noexcept function)");
}

} // namespace

void installCrashReport() {
    mainThreadId = GetCurrentThreadId();
    SetUnhandledExceptionFilter(reportCrash);
    std::signal(SIGABRT, reportAbort);
    std::set_terminate(reportTerminate);
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
