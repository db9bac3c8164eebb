// Our ASIO test host as a process that runs on its own while a test watches; one still running
// when the holder goes is ended.
#pragma once

#include "common/UniqueResource.h"
#include "support/TestProcess.h"

#include <string>

class HostProcess {
public:
    HostProcess() = default;
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;
    ~HostProcess() { end(); }

    bool start(const std::string& arguments) { return startProgram(asioHostPath(), arguments); }
    // Another build of the host (the 32-bit one beside the 64-bit tests).
    bool startProgram(const std::string& path, const std::string& arguments) {
        process_ = startProcess("\"" + path + "\" " + arguments);
        return process_.valid();
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
