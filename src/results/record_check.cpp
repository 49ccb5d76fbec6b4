#include "results/record_check.hpp"

#include "app/common/text.hpp"
#include "lattice/latticedir.hpp"
#include "results/checksum.hpp"
#include "results/score_line.hpp"
#include "results/text_results.hpp"

namespace {

std::string braces(const Digest& d) {
    return "{" + checksumToHex(d) + "}";
}

}  // namespace

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
        check.verdict = check.stored == check.computed ? CheckVerdict::Accepted
                                                        : CheckVerdict::BadChecksum;
    }
    return check;
}

std::string describeCheck(const RecordCheck& check) {
    std::string sums = "; stored " + braces(check.stored) + " computed " + braces(check.computed);
    switch (check.verdict) {
        case CheckVerdict::Accepted:
            return "accepted" + sums;
        case CheckVerdict::TestRecord:
            return "accepted: test record, not checked";
        case CheckVerdict::OldVersion:
            return format("rejected: version %f below %f", static_cast<double>(check.version),
                          static_cast<double>(kMinVersion));
        case CheckVerdict::BadChecksum:
            return "rejected: bad checksum" + sums;
        case CheckVerdict::LatticeMissing:
            return (check.lattice ? "not checked: lattice '" + *check.lattice + "' not present"
                                  : std::string("not checked: no lattice")) +
                   sums;
    }
    return "";
}
