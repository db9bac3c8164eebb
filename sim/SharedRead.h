// Reads of the machine state that another process (a test, a stand-in panel) may change at any
// moment: always from memory, never from a copy the compiler kept.
#pragma once

#include <cstdint>

namespace sim {

template <typename T>
T sharedRead(const T& field) {
    return *static_cast<const volatile T*>(&field);
}

inline bool switchedOn(const int32_t& flag) {
    return sharedRead(flag) != 0;
}

} // namespace sim
