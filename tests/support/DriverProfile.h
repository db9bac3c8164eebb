// The driver's profile section, as tests set it up and clean it away.
#pragma once

#include "asio/DriverIdentity.h"

// Removes the driver's profile section so each test starts from the defaults.
inline void clearDriverProfile() {
    WriteProfileStringA(kDriverProfileSection, nullptr, nullptr);
}
