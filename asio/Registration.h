// Self-registration of the driver: its COM class, its entry under the ASIO key and the profile
// path, and their removal.
#pragma once

#include <windows.h>

// Results of registration and unregistration.
enum : int {
    kRegistrationDone = 0,
    kRegistrationNoModule = -101,      // the driver module is not loaded under its own name
    kRegistrationNoPath = -102,        // the module's path could not be had whole
    kRegistrationNoClassText = -103,   // the class identifier could not be put in text form
    kRegistrationNoAnsiClassId = -104, // that text could not be put in the ANSI code page
};

int registerDriver();
int unregisterDriver();

// Deletes root\parentPath\keyName and everything below it, deepest keys first. 0 when at least
// one key went, -1 otherwise.
int deleteKeyTree(HKEY root, const char* parentPath, const char* keyName);
