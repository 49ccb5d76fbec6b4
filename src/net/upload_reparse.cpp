#include "net/upload_reparse.hpp"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "results/checksum.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "store/filecache.hpp"

namespace {

// Records that can be the same result share this key, so the duplicate test
// compares each record with a handful of others, not with every one: the
// lattice, and the genome as sorted name=level pairs (genomes with a repeated
// name compare by their entry count only).
std::string duplicateKey(const ResultRecord& record) {
    std::string key = lowerCopy(readLattice(record.scoreLine).value_or("\x01"));
    Genome genome = genomeFromText(record.genomeLine, true);
    std::vector<std::pair<std::string, int32_t>> pairs;
    for (int i = 0; i < genome.count(); i++) {
        pairs.emplace_back(genome.names[static_cast<size_t>(i)],
                           genome.levels[static_cast<size_t>(i)]);
    }
    std::sort(pairs.begin(), pairs.end());
    for (size_t i = 1; i < pairs.size(); i++) {
        if (pairs[i].first == pairs[i - 1].first) return key + format("\n#%d", genome.count());
    }
    for (const auto& [name, level] : pairs) key += format("\n%s=%d", name.c_str(), level);
    return key;
}

}  // namespace

bool reparseResults(const std::string& path, int64_t byteLimit, ReparsedResults& out) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return false;
    report("Reparsing results...");
    std::unordered_map<std::string, std::vector<uint32_t>> seen;
    digestCaching = true;
    while (std::optional<ResultRecord> record =
               readRecord(reader, std::nullopt, recordChecksum, true)) {
        if (containsNoCase(record->scoreLine, "rank")) continue;
        std::vector<uint32_t>& same = seen[duplicateKey(*record)];
        bool duplicate = false;
        for (uint32_t i : same) duplicate = duplicate || sameResult(out.records[i], *record);
        if (duplicate) continue;
        out.text += recordText(*record);
        same.push_back(listAppend(out.records, std::move(*record)));
        if (out.records.count() % 100 == 0) {
            reportProgress(format("Reparsing results... %u", out.records.count()));
        }
        int64_t position = recordReaderPosition(reader);
        if (byteLimit > 0 && position > byteLimit) {
            std::string whole;
            if (readWholeFile(path, whole) == ReadStatus::Ok &&
                position < static_cast<int64_t>(whole.size())) {
                out.rest = whole.substr(static_cast<size_t>(position));
                out.partial = true;
            }
            break;
        }
    }
    digestCaching = false;
    reportProgress(format("Reparsing results... Done (%u)", out.records.count()));
    return true;
}
