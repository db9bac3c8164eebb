// Stands in for the shell in-process: records what the installer would start and how, starts
// nothing, and does not wait.
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
    int runCommand(const char* command) override {
        commands.emplace_back(command);
        return commandResult;
    }
    void pause(DWORD milliseconds) override { pauses.push_back(milliseconds); }

    std::vector<ShellCall> calls;
    std::vector<HWND> owners;
    std::vector<ULONG> masks;
    std::vector<std::wstring> directories;
    std::vector<std::string> commands;
    std::vector<DWORD> pauses;
    int commandResult = 0; // what every command's tool reports

private:
    static std::wstring text(const wchar_t* s) { return s != nullptr ? s : L"<null>"; }
};
