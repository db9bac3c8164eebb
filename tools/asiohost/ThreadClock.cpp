#include "ThreadClock.h"

namespace asiohost {

namespace {

int64_t toInt(const FILETIME& t) {
    return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

} // namespace

bool threadCpuTime(HANDLE thread, int64_t& time) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return false;
    time = toInt(kernel) + toInt(user);
    return true;
}

int64_t measureCpuClockStep(DWORD budgetMs) {
    int64_t last = 0;
    if (!threadCpuTime(GetCurrentThread(), last))
        return 0;
    int64_t smallest = 0;
    int steps = 0;
    const DWORD begin = GetTickCount();
    // A few steps are enough to tell a tick-based clock from a fine one.
    while (steps < 4 && GetTickCount() - begin < budgetMs) {
        int64_t now = 0;
        if (!threadCpuTime(GetCurrentThread(), now))
            return 0;
        if (now != last) {
            const int64_t step = now - last;
            if (step > 0 && (smallest == 0 || step < smallest))
                smallest = step;
            last = now;
            ++steps;
        }
    }
    return smallest;
}

} // namespace asiohost
