// The host's command line: a command word and its options, checked before anything runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace asiohost {

constexpr char kDefaultDriverName[] = "Quenvora-K9 USB Audio ASIO";

enum class Command { Help, List, Info, Probe, Soak };

struct HostOptions {
    Command command = Command::Help;
    std::string driverName = kDefaultDriverName;
    bool nullWindow = false; // init with a null window instead of the desktop window
    double seconds = 10;
    int frames = 0;  // 0: the driver's preferred size
    double rate = 0; // 0: keep the driver's current rate
    int bits = 0;    // 0: keep the width the driver has
    bool timeInfo = true;
    // soak: sessions [first, first + sessions) of the seed's sequence.
    int64_t sessions = 1000;
    int64_t firstSession = 0;
    uint64_t seed = 1;
    bool verbose = false; // soak: a line for every session, not only the failed ones
    // soak: a damaged loopback signal is counted in the summary, not failed: on a loaded
    // machine dropouts at the smallest buffers say more about the machine than the driver.
    bool dropoutsAsFigures = false;
};

struct ParseResult {
    bool ok = false;
    std::string error; // what was wrong, when not ok
    HostOptions options;
};

// `args` excludes the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

const char* usageText();

} // namespace asiohost
