#include "TestProcess.h"

#include "asio/DriverIdentity.h"
#include "common/UniqueResource.h"

#include <vector>

std::string testProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string simDriverPath() {
    return testProgramFolder() + "..\\bin\\sim\\" + kDriverModuleName;
}
std::string shippedDriverPath() {
    return testProgramFolder() + "..\\bin\\" + kDriverModuleName;
}
std::string asioHostPath() {
    return testProgramFolder() + "..\\bin\\QvK9AsioHost.exe";
}

UniqueHandle startProcess(const std::string& commandLine, const char* directory) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                        &startup, &process))
        return UniqueHandle();
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

bool runAndWait(const std::string& commandLine, DWORD timeoutMs, DWORD* exitCode,
                const char* directory) {
    UniqueHandle process = startProcess(commandLine, directory);
    if (!process)
        return false;
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (exitCode != nullptr)
        *exitCode = code;
    return true;
}

bool placeTrelvikStandIn(const std::string& path) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.valid() && WriteFile(file.get(), "MZ", 2, &written, nullptr) && written == 2;
}

bool registerDriver(const std::string& dllPath) {
    DWORD code = 1;
    return runAndWait("regsvr32.exe /s \"" + dllPath + "\"", 30000, &code) && code == 0;
}

bool unregisterDriver(const std::string& dllPath) {
    DWORD code = 1;
    return runAndWait("regsvr32.exe /s /u \"" + dllPath + "\"", 30000, &code) && code == 0;
}

// The 32-bit command interpreter is asked for an exit code of its own choosing.
bool runs32BitPrograms() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string line = "\"" + std::string(windows, windows + lstrlenW(windows)) +
                             "\\SysWOW64\\cmd.exe\" /c exit 7";
    DWORD code = 0;
    return runAndWait(line, 30000, &code) && code == 7;
}
