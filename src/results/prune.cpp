#include "results/prune.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/text_results.hpp"

namespace {

// Distinct lattice names, collected from the newest record to the oldest.
// Records without a lattice never match a name, so they are left out: they
// are never removed.
std::vector<std::string> latticeGroups(const ResultsList& results) {
    std::vector<std::string> groups;
    for (uint32_t i = results.count(); i-- > 0;) {
        std::optional<std::string> lattice = readLattice(results[i].scoreLine);
        if (!lattice) continue;
        bool known = std::any_of(groups.begin(), groups.end(),
                                 [&](const std::string& g) { return equalNoCase(g, *lattice); });
        if (!known) groups.push_back(*lattice);
    }
    return groups;
}

// Marks `remove` of the group's records (indices in file order) by the mode.
void markGroup(const ResultsList& results, const std::vector<uint32_t>& members, int64_t remove,
               char mode, std::vector<bool>& marked) {
    auto count = static_cast<int64_t>(members.size());
    switch (mode) {
        case 'B': {
            std::vector<uint32_t> byScore = members;
            std::stable_sort(byScore.begin(), byScore.end(), [&](uint32_t a, uint32_t b) {
                return results[a].score < results[b].score;
            });
            for (int64_t i = 0; i < remove; i++) marked[byScore[static_cast<size_t>(i)]] = true;
            break;
        }
        case 'F':  // the earliest records stay
            for (int64_t i = 0; i < remove; i++) {
                marked[members[static_cast<size_t>(count - 1 - i)]] = true;
            }
            break;
        case 'L':  // the latest records stay
            for (int64_t i = 0; i < remove; i++) marked[members[static_cast<size_t>(i)]] = true;
            break;
        case 'R': {
            std::vector<bool> flags(static_cast<size_t>(count), false);
            for (int64_t i = 0; i < remove; i++) flags[static_cast<size_t>(i)] = true;
            for (int64_t j = 0; j < count; j++) {
                int64_t k = j + randomBelow(count - j);
                bool held = flags[static_cast<size_t>(j)];
                flags[static_cast<size_t>(j)] = flags[static_cast<size_t>(k)];
                flags[static_cast<size_t>(k)] = held;
            }
            for (size_t i = 0; i < members.size(); i++) {
                if (flags[i]) marked[members[i]] = true;
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

int64_t pruneKeepCount(int64_t count, float keepProportion) {
    // The product is taken in double precision: 40 % of 5 records is
    // 5 x 0.4000000059604645, whose ceiling keeps 3 records.
    double keep = std::ceil(static_cast<double>(count) * static_cast<double>(keepProportion));
    if (!(keep >= 1)) return 1;
    return keep >= static_cast<double>(count) ? std::max<int64_t>(1, count)
                                              : static_cast<int64_t>(keep);
}

void pruneResults(const std::string& path, const PruneSettings& settings) {
    int64_t size = std::max<int64_t>(0, fileSize(path));
    if (settings.maxBytes <= 0 || settings.maxBytes >= size) return;
    reportf("%s exceeded %lld bytes, pruning...", path.c_str(),
            static_cast<long long>(settings.maxBytes));
    ResultsList results = loadResults(path, std::nullopt);

    std::vector<bool> marked(results.count(), false);
    std::vector<std::string> groups = latticeGroups(results);
    for (size_t g = groups.size(); g-- > 0;) {
        std::vector<uint32_t> members;
        for (uint32_t i = 0; i < results.count(); i++) {
            if (latticeMatches(results[i].scoreLine, groups[g])) members.push_back(i);
        }
        auto count = static_cast<int64_t>(members.size());
        int64_t remove = count - pruneKeepCount(count, settings.keepProportion);
        if (remove > 0) markGroup(results, members, remove, settings.keepMode, marked);
    }

    ResultsList kept;
    ResultsList removed;
    listInit(kept);
    listInit(removed);
    for (uint32_t i = 0; i < results.count(); i++) {
        if (!marked[i]) {
            listAppend(kept, std::move(results[i]));
        } else if (!settings.removedStore.empty()) {
            listAppend(removed, std::move(results[i]));
        }
    }
    // A store that cannot take the removed records keeps the database whole.
    if (removed.count() > 0 && !saveResultsAppend(removed, settings.removedStore)) return;
    saveResults(kept, kept.count(), path, false);
}
