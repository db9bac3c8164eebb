// Our ASIO test host as a process that runs on its own while a test watches; one still running
// when the holder goes is ended.
#pragma once

#include "common/UniqueResource.h"
#include "support/TestProcess.h"

#include <string>
#include <vector>

class HostProcess {
public:
    HostProcess() = default;
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;
    ~HostProcess() { end(); }

    bool start(const std::string& arguments) {
        std::string line = "\"" + asioHostPath() + "\" " + arguments;
        std::vector<char> text(line.begin(), line.end());
        text.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return false;
        process_.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        return true;
    }
    bool waitForEnd(DWORD timeoutMs) {
        return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
    }
    void end() {
        if (process_ && !waitForEnd(0))
            TerminateProcess(process_.get(), 1);
    }

private:
    UniqueHandle process_;
};
