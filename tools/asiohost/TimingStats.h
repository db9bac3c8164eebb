// Order statistics of the buffer-switch period and of the host's time per callback.
#pragma once

#include <cstddef>
#include <vector>

namespace asiohost {

struct Distribution {
    size_t count = 0;
    double min = 0;
    double median = 0;
    double p99 = 0; // nearest rank
    double max = 0;
    double mean = 0;
};

// The values are taken by copy: sorting must not disturb the caller's order.
Distribution describe(std::vector<double> values);

} // namespace asiohost
