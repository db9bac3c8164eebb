#include "CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace asiohost {

namespace {

struct CommandRow {
    const char* word;
    Command command;
};

constexpr CommandRow kCommands[] = {
    {"list", Command::List}, {"info", Command::Info}, {"probe", Command::Probe},
    {"soak", Command::Soak}, {"help", Command::Help},
};

enum CommandMask : unsigned { kInfo = 1, kProbe = 2, kSoak = 4 };

bool parseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

bool parseWhole(const std::string& text, int& value) {
    double d = 0;
    if (!parseNumber(text, d) || d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return false;
    value = static_cast<int>(d);
    return true;
}

bool parseCount(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && value <= limit;
}

using Setter = std::string (*)(HostOptions&, const std::string&);

struct OptionRow {
    const char* name;
    bool takesValue;
    unsigned commands; // CommandMask bits of the commands that accept it
    Setter set;        // returns an error text, empty when accepted
};

const OptionRow kOptions[] = {
    {"--driver", true, kInfo | kProbe | kSoak,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (v.empty() || v.size() > 200)
             return "--driver needs the name of an installed ASIO driver";
         o.driverName = v;
         return {};
     }},
    {"--null-window", false, kInfo | kProbe | kSoak,
     [](HostOptions& o, const std::string&) -> std::string {
         o.nullWindow = true;
         return {};
     }},
    {"--seconds", true, kProbe,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (!parseNumber(v, o.seconds) || o.seconds < 0.1 || o.seconds > 3600)
             return "--seconds takes a number from 0.1 to 3600";
         return {};
     }},
    {"--frames", true, kProbe,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (!parseWhole(v, o.frames) || o.frames < 1 || o.frames > 65536)
             return "--frames takes a whole number of frames from 1 to 65536";
         return {};
     }},
    {"--rate", true, kProbe,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (!parseNumber(v, o.rate) || o.rate < 1000 || o.rate > 1000000)
             return "--rate takes a sample rate in Hz from 1000 to 1000000";
         return {};
     }},
    {"--bits", true, kProbe,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (!parseWhole(v, o.bits) || (o.bits != 16 && o.bits != 24 && o.bits != 32))
             return "--bits takes 16, 24 or 32";
         return {};
     }},
    {"--time-info", false, kProbe,
     [](HostOptions& o, const std::string&) -> std::string {
         o.timeInfo = true;
         return {};
     }},
    {"--no-time-info", false, kProbe,
     [](HostOptions& o, const std::string&) -> std::string {
         o.timeInfo = false;
         return {};
     }},
    {"--sessions", true, kSoak,
     [](HostOptions& o, const std::string& v) -> std::string {
         uint64_t n = 0;
         if (!parseCount(v, 100000000, n) || n == 0)
             return "--sessions takes a whole number from 1 to 100000000";
         o.sessions = static_cast<int64_t>(n);
         return {};
     }},
    {"--first", true, kSoak,
     [](HostOptions& o, const std::string& v) -> std::string {
         uint64_t n = 0;
         if (!parseCount(v, 100000000, n))
             return "--first takes a session number from 0 to 100000000";
         o.firstSession = static_cast<int64_t>(n);
         return {};
     }},
    {"--verbose", false, kSoak,
     [](HostOptions& o, const std::string&) -> std::string {
         o.verbose = true;
         return {};
     }},
    {"--dropouts-as-figures", false, kSoak,
     [](HostOptions& o, const std::string&) -> std::string {
         o.dropoutsAsFigures = true;
         return {};
     }},
    {"--seed", true, kSoak,
     [](HostOptions& o, const std::string& v) -> std::string {
         if (!parseCount(v, UINT64_MAX, o.seed))
             return "--seed takes a whole number from 0 to 18446744073709551615";
         return {};
     }},
};

unsigned maskOf(Command c) {
    switch (c) {
    case Command::Info:
        return kInfo;
    case Command::Probe:
        return kProbe;
    case Command::Soak:
        return kSoak;
    default:
        return 0;
    }
}

ParseResult failure(std::string text) {
    ParseResult r;
    r.error = std::move(text);
    return r;
}

} // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    if (args.empty()) {
        result.ok = true;
        return result;
    }
    const CommandRow* command = nullptr;
    for (const CommandRow& row : kCommands)
        if (args[0] == row.word)
            command = &row;
    if (command == nullptr)
        return failure("unknown command \"" + args[0] + "\"");
    result.options.command = command->command;

    for (size_t i = 1; i < args.size(); ++i) {
        const OptionRow* option = nullptr;
        for (const OptionRow& row : kOptions)
            if (args[i] == row.name)
                option = &row;
        if (option == nullptr)
            return failure("unknown option \"" + args[i] + "\"");
        if ((option->commands & maskOf(command->command)) == 0)
            return failure(std::string(option->name) + " does not go with \"" + command->word +
                           "\"");
        std::string value;
        if (option->takesValue) {
            if (i + 1 >= args.size())
                return failure(std::string(option->name) + " needs a value");
            value = args[++i];
        }
        std::string error = option->set(result.options, value);
        if (!error.empty())
            return failure(error);
    }
    result.ok = true;
    return result;
}

const char* usageText() {
    return "usage: QvK9AsioHost COMMAND [options]\n"
           "\n"
           "commands:\n"
           "  list    list the ASIO drivers installed on this machine\n"
           "  info    load a driver and print what it offers\n"
           "  probe   stream through a driver and measure what comes back\n"
           "  soak    run many complete sessions in one process, each drawn from a seed\n"
           "  help    print this text\n"
           "\n"
           "options of info, probe and soak:\n"
           "  --driver NAME      the driver's name under HKLM\\SOFTWARE\\ASIO\n"
           "                     (default \"Quenvora-K9 USB Audio ASIO\")\n"
           "  --null-window      pass a null window to init (default: the desktop window)\n"
           "\n"
           "options of probe:\n"
           "  --seconds S        how long to stream (default 10)\n"
           "  --frames N         buffer size in frames (default: the driver's preferred size)\n"
           "  --rate R           sample rate to set before creating the buffers\n"
           "  --bits B           sample width to ask for: 16, 24 or 32 (default: unchanged)\n"
           "  --time-info        take bufferSwitchTimeInfo (default)\n"
           "  --no-time-info     take the plain bufferSwitch\n"
           "\n"
           "options of soak:\n"
           "  --sessions N       how many sessions to run (default 1000)\n"
           "  --seed S           the seed every session's parameters are drawn from (default 1)\n"
           "  --first K          start at session K of the seed's sequence (default 0); with\n"
           "                     --sessions 1 it replays one session alone\n"
           "  --verbose          a line for every session, with its plan and duration\n"
           "  --dropouts-as-figures  count a damaged loopback signal in the summary instead\n"
           "                     of failing the session (for a machine under load)\n"
           "\n"
           "probe plays a loud digital test pattern on output channels 0 and 1 and expects it\n"
           "back on input channels 0 and 1: use a digital loopback, never speakers.\n"
           "\n"
           "exit codes: 0 all well; 1 the driver could not be loaded, set up or started;\n"
           "2 bad command line; 3 the stream ran but no signal came back;\n"
           "4 the signal came back damaged (dropouts, repeats, silence, corrupted frames);\n"
           "5 the driver broke a rule hosts rely on (callbacks after stop, half index,\n"
           "  sample position, time information); 6 a soak session failed (one line each);\n"
           "7 a soak session hung.\n";
}

} // namespace asiohost
