// QvK9AsioHost: an ASIO host of our own, for looking at a driver from the outside and for
// measuring what streams through it. It talks to the driver only through COM and IASIO.
#include "CommandLine.h"
#include "Commands.h"
#include "CrashGuard.h"
#include "ExitCodes.h"
#include "ProbeSession.h"

#include <windows.h>

#include <cstdio>
#include <exception>

namespace {

using namespace asiohost;

struct CommandEntry {
    Command command;
    int (*run)(const HostOptions&);
};

constexpr CommandEntry kCommandTable[] = {
    {Command::List, runList},
    {Command::Info, runInfo},
    {Command::Probe, runProbe},
    {Command::Soak, runSoak},
};

// Ctrl+C ends a probe early but cleanly: the stream is stopped and the report printed.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ProbeSession::interrupt();
        return TRUE;
    }
    return FALSE;
}

int dispatch(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "QvK9AsioHost: %s\n\n%s", parsed.error.c_str(), usageText());
        return kExitUsage;
    }
    if (parsed.options.command == Command::Help) {
        std::printf("%s", usageText());
        return args.empty() ? kExitUsage : kExitOk;
    }
    for (const CommandEntry& entry : kCommandTable)
        if (entry.command == parsed.options.command)
            return entry.run(parsed.options);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    installCrashReport();
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    try {
        return dispatch(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QvK9AsioHost: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "QvK9AsioHost: unexpected failure\n");
    }
    return kExitDriverFailure;
}
