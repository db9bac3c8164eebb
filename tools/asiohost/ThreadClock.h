// CPU time of threads, as the system's thread-time clock counts it. That clock moves in steps
// (a scheduler tick on many systems), so short spans need its step size beside them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace asiohost {

// Kernel plus user time of the thread in 100 ns units; false when the system does not say.
bool threadCpuTime(HANDLE thread, int64_t& time);

// The smallest step seen in the calling thread's CPU time while it keeps busy for at most
// `budgetMs` of wall time, in 100 ns units; 0 when the clock did not move at all.
int64_t measureCpuClockStep(DWORD budgetMs);

} // namespace asiohost
