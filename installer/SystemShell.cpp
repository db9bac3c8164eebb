#include "ShellSeam.h"

#include <cstdlib>

namespace {

class SystemShell final : public ShellSeam {
public:
    BOOL executeEx(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }
    HINSTANCE execute(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                      int show) override {
        return ShellExecuteW(nullptr, verb, file, parameters, nullptr, show);
    }
    int runCommand(const char* command) override { return std::system(command); }
    void pause(DWORD milliseconds) override { Sleep(milliseconds); }
};

} // namespace

ShellSeam& systemShell() {
    static SystemShell instance;
    return instance;
}
