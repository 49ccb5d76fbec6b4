#include "results/pool_scores.hpp"

#include <algorithm>
#include <charconv>
#include <functional>
#include <queue>
#include <string>
#include <unordered_map>

#include "common/text.hpp"
#include "model/genome.hpp"

namespace {

struct Repeats {
    double sum = 0;
    double weight = 0;
    double first = 0;
    bool differ = false;
    int count = 0;
};

// One pass over a genome line: its key (the parameters as the genome reader
// takes them, so that two ways of writing one genome are one genome) and its
// "#runs", 1 when absent: a quarantined result's score is already the mean
// of that many runs.
double scanRecord(const std::string& genomeLine, std::string& key) {
    key.clear();
    key.reserve(genomeLine.size());
    int32_t runs = 1;
    genomeScanText(genomeLine, true, [&](std::string_view name, int32_t level) {
        if (!name.empty() && name[0] == '#') {
            if (equalNoCase(name, "#runs")) runs = level;
            return true;
        }
        for (char c : name) key += lowerAscii(c);
        char digits[16];
        key += '=';
        key.append(digits, std::to_chars(digits, digits + sizeof digits, level).ptr);
        key += ';';
        return true;
    });
    return std::max(runs, 1);
}

}  // namespace

const PoolScores& poolScores(const OptimiserPool& pool) {
    if (pool.scores) return *pool.scores;
    PoolScores scores;
    size_t n = pool.size();
    scores.smoothed.resize(n);
    scores.group.resize(n);
    std::unordered_map<std::string, uint32_t> groups;
    groups.reserve(n);
    std::vector<Repeats> repeats;
    std::string key;
    for (size_t i = 0; i < n; i++) {
        const ResultRecord& record = pool[i];
        double weight = scanRecord(record.genomeLine, key);
        auto [at, added] = groups.try_emplace(key, static_cast<uint32_t>(repeats.size()));
        if (added) repeats.emplace_back();
        Repeats& r = repeats[at->second];
        if (r.count > 0 && record.score != r.first) r.differ = true;
        if (r.count == 0) r.first = record.score;
        r.sum += weight * record.score;
        r.weight += weight;
        r.count++;
        scores.group[i] = at->second;
    }
    for (size_t i = 0; i < n; i++) {
        const Repeats& r = repeats[scores.group[i]];
        scores.smoothed[i] = r.count == 1 ? pool[i].score : r.sum / r.weight;
    }
    for (const Repeats& r : repeats) {
        if (r.count < 2) continue;
        if (r.differ) {
            scores.repeatsDiffer = true;
        } else {
            scores.repeatsAgree = true;
        }
    }
    pool.scores = std::move(scores);
    return *pool.scores;
}

std::vector<size_t> poolBest(const OptimiserPool& pool, size_t count) {
    const PoolScores& scores = poolScores(pool);
    std::vector<size_t> order(pool.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    auto better = [&](size_t a, size_t b) {
        // Among equals the later record first, so that an elite on a plateau
        // follows the search across it instead of holding its first points.
        return scores.smoothed[a] > scores.smoothed[b] ||
               (scores.smoothed[a] == scores.smoothed[b] && a > b);
    };
    // Repeats share a score, so the best `count` distinct genomes lie among
    // the best `count` records once each group keeps its first record.
    std::vector<bool> taken(
        pool.size() == 0 ? 0 : *std::max_element(scores.group.begin(), scores.group.end()) + 1);
    std::vector<size_t> firsts;
    firsts.reserve(pool.size());
    for (size_t i : order) {
        if (!taken[scores.group[i]]) {
            taken[scores.group[i]] = true;
            firsts.push_back(i);
        }
    }
    count = std::min(count, firsts.size());
    std::partial_sort(firsts.begin(), firsts.begin() + static_cast<std::ptrdiff_t>(count),
                      firsts.end(), better);
    firsts.resize(count);
    return firsts;
}

std::vector<RecentTrial> poolRecentTrials(const OptimiserPool& pool, size_t window, size_t top) {
    const PoolScores& scores = poolScores(pool);
    std::vector<RecentTrial> recent;
    if (top == 0) return recent;
    size_t first = pool.localCount > window ? pool.localCount - window : 0;
    // The `top` best scores so far, the lowest of them on top of the heap.
    std::priority_queue<double, std::vector<double>, std::greater<double>> best;
    auto admit = [&](double score) {
        if (best.size() < top) {
            best.push(score);
            return true;
        }
        // Equalling the lowest of the top counts: on a plateau a result
        // that holds the level is as good as any there.
        if (score < best.top()) return false;
        best.pop();
        best.push(score);
        return true;
    };
    for (size_t i = pool.localCount; i < pool.size(); i++) admit(scores.smoothed[i]);
    for (size_t i = 0; i < pool.localCount; i++) {
        bool reached = admit(scores.smoothed[i]);
        if (i < first) continue;
        RecentTrial trial;
        trial.record = i;
        trial.reachedTop = reached;
        genomeScanText(pool[i].genomeLine, true, [&](std::string_view name, int32_t level) {
            if (equalNoCase(name, "#gen")) trial.trialType = level;
            return true;
        });
        recent.push_back(trial);
    }
    return recent;
}
