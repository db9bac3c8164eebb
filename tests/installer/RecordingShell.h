// Stands in for the shell in-process: records what the installer would start and how, starts
// nothing, and does not wait; the programs it waits for end as the test says.
#pragma once

#include "installer/ShellSeam.h"

#include <string>
#include <vector>

struct ShellCall {
    bool extended; // ShellExecuteEx rather than ShellExecute
    std::wstring verb;
    std::wstring file;
    std::wstring parameters;
    int show;
};

class RecordingShell : public ShellSeam {
public:
    BOOL executeEx(SHELLEXECUTEINFOW* info) override {
        calls.push_back(
            {true, text(info->lpVerb), text(info->lpFile), text(info->lpParameters), info->nShow});
        owners.push_back(info->hwnd);
        masks.push_back(info->fMask);
        directories.push_back(text(info->lpDirectory));
        return TRUE;
    }
    HINSTANCE execute(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                      int show) override {
        calls.push_back({false, text(verb), text(file), text(parameters), show});
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
    }
    ToolOutcome runProgram(const wchar_t* program, const wchar_t* commandLine,
                           const wchar_t* directory, DWORD, DWORD* exitCode) override {
        programs.push_back({text(program), text(commandLine), text(directory)});
        if (programOutcome == ToolOutcome::kEnded && exitCode != nullptr)
            *exitCode = programExitCode;
        return programOutcome;
    }
    void pause(DWORD milliseconds) override { pauses.push_back(milliseconds); }

    std::vector<ShellCall> calls;
    std::vector<HWND> owners;
    std::vector<ULONG> masks;
    std::vector<std::wstring> directories;
    struct Program {
        std::wstring program;
        std::wstring commandLine;
        std::wstring directory;
    };
    std::vector<Program> programs;
    std::vector<DWORD> pauses;
    // How every program the run waits for comes out of it.
    ToolOutcome programOutcome = ToolOutcome::kEnded;
    DWORD programExitCode = 0;

private:
    static std::wstring text(const wchar_t* s) { return s != nullptr ? s : L"<null>"; }
};
