#include "Commands.h"
#include "DriverRegistry.h"
#include "ExitCodes.h"

#include <cstdio>

namespace asiohost {

int runList(const HostOptions&) {
    const std::vector<InstalledDriver> drivers = listInstalledDrivers();
    if (drivers.empty()) {
        std::printf("No ASIO drivers are installed (HKLM\\SOFTWARE\\ASIO is empty or missing).\n");
        return kExitOk;
    }
    std::printf("%zu ASIO driver%s installed:\n", drivers.size(), drivers.size() == 1 ? "" : "s");
    for (const InstalledDriver& d : drivers) {
        std::printf("  %-40s %s", d.name.c_str(),
                    d.clsidText.empty() ? "(no CLSID value)" : d.clsidText.c_str());
        if (!d.description.empty())
            std::printf("  %s", d.description.c_str());
        std::printf("\n");
    }
    return kExitOk;
}

} // namespace asiohost
