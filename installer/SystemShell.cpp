#include "ShellSeam.h"

#include "common/UniqueResource.h"

#include <vector>

namespace {

class SystemShell final : public ShellSeam {
public:
    BOOL executeEx(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }
    HINSTANCE execute(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                      int show) override {
        return ShellExecuteW(nullptr, verb, file, parameters, nullptr, show);
    }
    ToolOutcome runProgram(const wchar_t* program, const wchar_t* commandLine,
                           const wchar_t* directory, DWORD timeoutMs, DWORD* exitCode) override {
        // CreateProcess may write into the command line.
        std::vector<wchar_t> line(commandLine, commandLine + lstrlenW(commandLine) + 1);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        // The tool inherits no handle of ours, and a console tool gets no console window.
        if (!CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, directory, &startup, &started))
            return ToolOutcome::kNotStarted;
        UniqueHandle thread(started.hThread);
        UniqueHandle process(started.hProcess);
        return WaitForTool(process.get(), timeoutMs, exitCode);
    }
    void pause(DWORD milliseconds) override { Sleep(milliseconds); }
};

} // namespace

ShellSeam& systemShell() {
    static SystemShell instance;
    return instance;
}

ToolOutcome WaitForTool(HANDLE process, DWORD timeoutMs, DWORD* exitCode) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, ERROR_TIMEOUT);
        WaitForSingleObject(process, timeoutMs);
        return ToolOutcome::kTimedOut;
    }
    // A code that cannot be read counts as a failure of the tool.
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process, &code);
    if (exitCode != nullptr)
        *exitCode = code;
    return ToolOutcome::kEnded;
}
