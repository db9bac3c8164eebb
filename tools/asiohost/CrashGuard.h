// A crash inside a driver takes the host down; the probe at least says where it happened.
// Each call into the driver names itself for the time it runs, and an unhandled exception is
// reported with that name before the process ends with kExitDriverFailure; so is an abort.
#pragma once

namespace asiohost {

void installCrashReport();
// A line the report prints first (the soak session that was running); empty for none.
void setCrashContext(const char* text);
// The driver call running on the main thread, or null.
const char* currentDriverCall();

class DriverCallScope {
public:
    explicit DriverCallScope(const char* operation);
    ~DriverCallScope();
    DriverCallScope(const DriverCallScope&) = delete;
    DriverCallScope& operator=(const DriverCallScope&) = delete;

private:
    const char* previous_;
};

} // namespace asiohost
