#include "display/bulk.hpp"

#include <algorithm>
#include <cmath>

BulkSpan bulkSpan(std::vector<double>& values, double share) {
    auto end =
        std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); });
    values.erase(end, values.end());
    BulkSpan span;
    if (values.empty()) return span;
    share = std::clamp(share, 0.0, 1.0);
    size_t last = values.size() - 1;
    // As many left out at each end; a few dozen values keep them all.
    auto lowIndex = static_cast<size_t>(std::round(last * (1 - share) / 2));
    size_t highIndex = last - lowIndex;
    std::nth_element(values.begin(), values.begin() + lowIndex, values.end());
    span.lo = values[lowIndex];
    std::nth_element(values.begin() + lowIndex, values.begin() + highIndex, values.end());
    span.hi = values[highIndex];
    span.valid = true;
    return span;
}
