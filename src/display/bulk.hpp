// The bulk of a beam: the range that holds its central share of values on
// one axis. The auto view and the phase-space plots scale to it, so that a
// few particles escaping upstream or scattered far outside the channel do
// not shrink the beam to a dot.
#pragma once

#include <vector>

inline constexpr double kBulkShare = 0.98;

struct BulkSpan {
    double lo = 0, hi = 0;
    bool valid = false;  // false when there were no values
    double centre() const { return 0.5 * (lo + hi); }
    double width() const { return hi - lo; }
};

// The range from the (1 - share)/2 to the (1 + share)/2 quantile of the
// values (reordered in place). Values that are not finite are left out.
BulkSpan bulkSpan(std::vector<double>& values, double share = kBulkShare);
