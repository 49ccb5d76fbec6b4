#include "results/prune.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/random.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/text_results.hpp"

namespace {

// One record of the file being pruned: views into the file's text, its score
// and its lattice group (-1 for a record without a lattice, which is never
// removed).
struct PruneRecord {
    RecordView text;
    double score = 0;
    int32_t group = -1;
};

// The records as loadResults accepts them, with its messages, and the
// lattice groups: distinct names (ignoring case) in the order they are met
// scanning from the newest record to the oldest.
std::vector<PruneRecord> scanRecords(const std::string& path, const std::string& text,
                                     std::vector<std::string>& groups) {
    reportf("Loading '%s'...", path.c_str());
    std::vector<PruneRecord> records;
    size_t pos = 0;
    RecordView view;
    while (nextRecordView(text, pos, view)) {
        if (!isTestScoreLine(view.scoreLine) &&
            acceptRecord(std::string(view.genomeLine), std::string(view.scoreLine), std::nullopt,
                         nullptr, true) == RecordRejected) {
            continue;
        }
        PruneRecord record;
        record.text = view;
        record.score = std::strtod(std::string(view.scoreLine).c_str(), nullptr);
        records.push_back(record);
        if (records.size() % 100 == 0) {
            double done = text.empty()
                              ? 100.0
                              : 100.0 * static_cast<double>(pos) / static_cast<double>(text.size());
            reportProgress(format("Loading '%s'... %d (%.1lf%%)", path.c_str(),
                                  static_cast<int>(records.size()), done));
        }
    }
    reportProgress(
        format("Loading '%s'... OK (%d results)", path.c_str(), static_cast<int>(records.size())));

    std::unordered_map<std::string, int32_t> known;
    for (size_t i = records.size(); i-- > 0;) {
        std::optional<std::string> lattice = readLattice(records[i].text.scoreLine);
        if (!lattice) continue;
        std::string key = lowerCopy(*lattice);
        auto found = known.find(key);
        if (found == known.end()) {
            found = known.emplace(key, static_cast<int32_t>(groups.size())).first;
            groups.push_back(*lattice);
        }
        records[i].group = found->second;
    }
    return records;
}

// Marks `remove` of the group's records (indices in file order) by the mode.
void markGroup(const std::vector<PruneRecord>& results, const std::vector<uint32_t>& members,
               int64_t remove, char mode, std::vector<bool>& marked) {
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
    // One copy of the file in memory; the records are views into it, and the
    // kept ones are streamed back out, so the memory used stays near the
    // file's size however many records it holds.
    std::string text;
    if (readWholeFile(path, text) != ReadStatus::Ok) {
        reportProgress(format("Loading '%s'... File empty", path.c_str()));
        return;
    }
    std::vector<std::string> groups;
    std::vector<PruneRecord> records = scanRecords(path, text, groups);

    std::vector<std::vector<uint32_t>> members(groups.size());
    for (uint32_t i = 0; i < records.size(); i++) {
        if (records[i].group >= 0) members[static_cast<size_t>(records[i].group)].push_back(i);
    }
    std::vector<bool> marked(records.size(), false);
    for (size_t g = groups.size(); g-- > 0;) {
        auto count = static_cast<int64_t>(members[g].size());
        int64_t remove = count - pruneKeepCount(count, settings.keepProportion);
        if (remove > 0) markGroup(records, members[g], remove, settings.keepMode, marked);
        std::vector<uint32_t>().swap(members[g]);
    }

    std::vector<RecordView> kept;
    std::vector<RecordView> removed;
    for (uint32_t i = 0; i < records.size(); i++) {
        if (!marked[i]) {
            kept.push_back(records[i].text);
        } else if (!settings.removedStore.empty()) {
            removed.push_back(records[i].text);
        }
    }
    std::vector<PruneRecord>().swap(records);
    // A store that cannot take the removed records keeps the database whole.
    if (!removed.empty() && !saveResultViews(removed, settings.removedStore, true)) return;
    saveResultViews(kept, path, false);
}
