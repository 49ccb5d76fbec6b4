#include "results/record_check.hpp"

#include "common/text.hpp"
#include "results/checksum.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"
#include "store/filecache.hpp"
#include "store/latticedir.hpp"

std::string describeCheck(const RecordCheck& check) {
    std::string stored = checksumToHex(check.stored);
    std::string computed = checksumToHex(check.computed);
    std::string sums = format("; stored {%s} computed {%s}", stored.c_str(), computed.c_str());
    switch (check.verdict) {
        case CheckVerdict::Accepted:
            return format("accepted%s", sums.c_str());
        case CheckVerdict::TestRecord:
            return "accepted: test record, not checked";
        case CheckVerdict::OldVersion:
            return format("rejected: version %f below %f", static_cast<double>(check.version),
                          static_cast<double>(kMinVersion));
        case CheckVerdict::BadChecksum:
            return format("rejected: bad checksum%s", sums.c_str());
        case CheckVerdict::LatticeMissing:
            if (!check.lattice) return format("not checked: no lattice%s", sums.c_str());
            return format("not checked: lattice '%s' not present%s", check.lattice->c_str(),
                          sums.c_str());
    }
    return "";
}

RecordCheck checkRecord(const std::string& genomeLine, const std::string& scoreLine) {
    RecordCheck check;
    if (isTestScoreLine(scoreLine)) {
        check.verdict = CheckVerdict::TestRecord;
        return check;
    }
    check.version = readVersion(scoreLine);
    check.lattice = readLattice(scoreLine);
    if (kMinVersion > check.version) {
        check.verdict = CheckVerdict::OldVersion;
        return check;
    }
    check.stored = readChecksum(scoreLine);
    check.computed = recordChecksum(genomeLine, scoreLine);
    if (!latticepresent(check.lattice)) {
        check.verdict = CheckVerdict::LatticeMissing;
    } else {
        check.verdict =
            check.stored == check.computed ? CheckVerdict::Accepted : CheckVerdict::BadChecksum;
    }
    return check;
}

bool checkResultsFile(const std::string& path,
                      const std::function<void(int64_t line, const RecordCheck&)>& each) {
    RecordReader reader;
    if (!recordReaderOpen(reader, path)) return false;
    // The files do not change during one check; without the caches every
    // record would read and interpret its lattice and digest its data files
    // again.
    bool wasCaching = digestCaching;
    digestCaching = true;
    std::string genomeLine, scoreLine;
    while (readRecordPair(reader, genomeLine, scoreLine)) {
        each(reader.linesRead, checkRecord(genomeLine, scoreLine));
    }
    digestCaching = wasCaching;
    return true;
}
