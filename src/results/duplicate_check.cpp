#include "results/duplicate_check.hpp"

#include <string>
#include <unordered_map>
#include <vector>

#include "common/text.hpp"

namespace {

// The candidate as genomeEqual sees it: its entry count and, per distinct
// name, the level every entry of that name has. Pool records are then read
// straight from their text, with no genome built per record.
struct Wanted {
    int32_t count = 0;
    std::unordered_map<std::string, size_t> index;  // name -> slot
    std::vector<int32_t> levels;                    // per slot
    bool possible = true;                           // false when one name asks for two levels
};

Wanted wantedOf(const Genome& candidate) {
    Wanted wanted;
    wanted.count = candidate.count();
    for (size_t i = 0; i < candidate.names.size(); i++) {
        auto [at, added] = wanted.index.try_emplace(candidate.names[i], wanted.levels.size());
        if (added) {
            wanted.levels.push_back(candidate.levels[i]);
        } else if (wanted.levels[at->second] != candidate.levels[i]) {
            wanted.possible = false;
        }
    }
    return wanted;
}

}  // namespace

bool poolHoldsGenome(const OptimiserPool& pool, const Genome& candidate) {
    Wanted wanted = wantedOf(candidate);
    if (!wanted.possible) return false;
    std::vector<int32_t> last(wanted.levels.size());
    std::vector<bool> seen(wanted.levels.size());
    std::string lower;
    // With the candidate's names all distinct, a record that equals it holds
    // each of them exactly once and nothing else: the first entry that is
    // foreign, differs or is one too many settles the record.
    bool distinct = wanted.levels.size() == static_cast<size_t>(wanted.count);
    for (size_t r = 0; r < pool.size(); r++) {
        int32_t count = 0;
        bool rejected = false;
        std::fill(seen.begin(), seen.end(), false);
        genomeScanText(pool[r].genomeLine, false, [&](std::string_view name, int32_t level) {
            count++;
            lower.assign(name);
            for (char& c : lower) c = lowerAscii(c);
            auto at = wanted.index.find(lower);
            if (at == wanted.index.end()) {
                rejected = distinct;
            } else {
                last[at->second] = level;
                seen[at->second] = true;
                rejected = distinct && (level != wanted.levels[at->second] || count > wanted.count);
            }
            return !rejected;
        });
        if (rejected || count != wanted.count) continue;
        bool equal = true;
        for (size_t s = 0; s < last.size() && equal; s++) {
            equal = seen[s] && last[s] == wanted.levels[s];
        }
        if (equal) return true;
    }
    return false;
}
