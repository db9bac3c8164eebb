#include "TimingStats.h"

#include <algorithm>
#include <cmath>

namespace asiohost {

namespace {

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double fraction) {
    const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

Distribution describe(std::vector<double> values) {
    Distribution d;
    d.count = values.size();
    if (values.empty())
        return d;
    std::sort(values.begin(), values.end());
    d.min = values.front();
    d.max = values.back();
    d.median = percentile(values, 0.5);
    d.p99 = percentile(values, 0.99);
    double sum = 0;
    for (double v : values)
        sum += v;
    d.mean = sum / static_cast<double>(values.size());
    return d;
}

} // namespace asiohost
