#include "results/record_levels.hpp"

#include <algorithm>

#include "common/text.hpp"

RecordLevels::RecordLevels(const Genome& names, int32_t missing)
    : names_(names), missing_(missing) {
    for (size_t j = 0; j < names.names.size(); j++) {
        auto [at, added] = index_.try_emplace(names.names[j], j);
        first_.push_back(at->second);
        (void)added;
    }
    levels_.resize(names.names.size());
}

const std::vector<int32_t>& RecordLevels::read(const std::string& genomeLine) {
    std::fill(levels_.begin(), levels_.end(), missing_);
    size_t position = 0;
    genomeScanText(genomeLine, true, [&](std::string_view name, int32_t level) {
        // Results of one lattice mostly list their parameters in the same
        // order: try the name at this position first.
        size_t j = position++;
        if (j < first_.size() && equalNoCase(names_.names[j], name)) {
            levels_[first_[j]] = level;
            return true;
        }
        lower_.assign(name);
        for (char& c : lower_) c = lowerAscii(c);
        auto at = index_.find(lower_);
        if (at != index_.end()) levels_[at->second] = level;
        return true;
    });
    // A name held twice reads the same level for both.
    for (size_t j = 0; j < levels_.size(); j++) levels_[j] = levels_[first_[j]];
    return levels_;
}
