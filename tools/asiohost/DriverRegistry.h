// The ASIO drivers installed on this machine, as hosts find them: one subkey per driver under
// HKLM\SOFTWARE\ASIO, with the driver's class identifier in its "CLSID" value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace asiohost {

struct InstalledDriver {
    std::string name;
    std::string clsidText;   // empty when the value is missing or unreadable
    std::string description; // the optional "Description" value
};

// Empty when the ASIO key is missing.
std::vector<InstalledDriver> listInstalledDrivers();

struct DriverLookup {
    bool found = false;
    CLSID clsid = {};
    std::string clsidText;
    std::string error; // why not, when not found
};

DriverLookup findDriver(const std::string& name);

} // namespace asiohost
