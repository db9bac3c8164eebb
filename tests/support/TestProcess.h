// Paths of the programs under test and starting other processes from a test.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>

#include <string>

// Folder of the running test program, with a trailing backslash.
std::string testProgramFolder();
// The simulated-device build of the driver and the shipped one, beside the test programs.
std::string simDriverPath();
std::string shippedDriverPath();
// Our ASIO test host, a host process of its own for scenarios with two hosts.
std::string asioHostPath();

// Starts a command line as a process of its own, in `directory` (null: the test's own current
// folder); its handle, or an empty one when it could not start.
UniqueHandle startProcess(const std::string& commandLine, const char* directory = nullptr);
// Runs a command line and waits for it; false when it could not start or did not end in time.
bool runAndWait(const std::string& commandLine, DWORD timeoutMs, DWORD* exitCode = nullptr,
                const char* directory = nullptr);
// Whether this machine runs 32-bit programs at all (some 64-bit machines cannot).
bool runs32BitPrograms();
// Puts a stand-in "Trelvik.dll" at `path` for the panel's Trelvik cycle to copy; the simulated
// machine never loads it. False when it could not be written.
bool placeTrelvikStandIn(const std::string& path);
// Registers or unregisters a driver DLL with the system's registration tool, silently.
bool registerDriver(const std::string& dllPath);
bool unregisterDriver(const std::string& dllPath);

// Polls `done` every 10 ms until it holds or `timeoutMs` passes; returns its last answer.
template <typename Predicate>
bool waitUntil(Predicate done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        Sleep(10);
    }
    return true;
}
