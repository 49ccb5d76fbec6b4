#include "results/record.hpp"

#include <cmath>
#include <cstdlib>

#include "common/text.hpp"

namespace {

std::string scoreText(double score, const ResultFormat& format) {
    return ::format("%.*f", format.scoreDecimals, score);
}

// Fields 2 to 4 after the score, then the checksum and the trailing text.
ResultRecord finish(const Genome& genome, std::string line, double extra,
                    const ScoreLineFields& fields, const ChecksumFunction* checksumFunction,
                    const std::optional<Digest>* checksumBytes, const ResultFormat& format) {
    ResultRecord record;
    record.genomeLine = genomeToText(genome);
    if (!format.extraUnit.empty()) {
        line += ::format(" (%.*f %s)", format.extraDecimals, extra, format.extraUnit.c_str());
    }
    if (fields.version) line += " [" + *fields.version + "]";
    if (fields.lattice) line += " <" + *fields.lattice + ">";
    if (checksumFunction && *checksumFunction) {
        line += " {" + checksumToHex((*checksumFunction)(record.genomeLine, line)) + "}";
    } else if (checksumBytes && checksumBytes->has_value()) {
        line += " {" + checksumToHex(**checksumBytes) + "}";
    }
    if (fields.trailing) line += " " + *fields.trailing;
    record.score = std::strtod(line.c_str(), nullptr);
    record.scoreLine = std::move(line);
    return record;
}

}  // namespace

ResultRecord formatScoreLine(const Genome& genome, double score, double extra,
                             const ScoreLineFields& fields, const ChecksumFunction& checksum,
                             const ResultFormat& format) {
    return finish(genome, scoreText(score, format), extra, fields, &checksum, nullptr, format);
}

ResultRecord formatScoreLineWithChecksum(const Genome& genome, double score, double extra,
                                         const ScoreLineFields& fields,
                                         const std::optional<Digest>& checksum,
                                         const ResultFormat& format) {
    if (!(std::fabs(score) < 1e80)) score = 0;
    return finish(genome, scoreText(score, format), extra, fields, nullptr, &checksum, format);
}

ResultRecord formatScoreLineList(const Genome& genome, const std::vector<double>& scores,
                                 double extra, const ScoreLineFields& fields,
                                 const ChecksumFunction& checksum, const ResultFormat& format) {
    std::string line;
    for (size_t i = 0; i < scores.size(); i++) {
        if (i > 0) line += ',';
        line += scoreText(scores[i], format);
    }
    return finish(genome, std::move(line), extra, fields, &checksum, nullptr, format);
}

bool sameResult(const ResultRecord& a, const ResultRecord& b) {
    ResultFormat fa = readFormat(a.genomeLine, a.scoreLine);
    ResultFormat fb = readFormat(b.genomeLine, b.scoreLine);
    if (fa.genomeDigits != fb.genomeDigits || fa.scoreDecimals != fb.scoreDecimals ||
        fa.extraDecimals != fb.extraDecimals || fa.extraUnit != fb.extraUnit) {
        return false;
    }
    if (!(std::fabs(a.score - b.score) <= 0.5 * tenthPower(fa.scoreDecimals))) return false;
    if (!fa.extraUnit.empty() && !(std::fabs(readExtra(a.scoreLine) - readExtra(b.scoreLine)) <=
                                   0.5 * tenthPower(fa.extraDecimals))) {
        return false;
    }
    if (!genomeEqual(genomeFromText(a.genomeLine, true), genomeFromText(b.genomeLine, true))) {
        return false;
    }
    std::optional<std::string> la = readLattice(a.scoreLine);
    std::optional<std::string> lb = readLattice(b.scoreLine);
    if (la.has_value() != lb.has_value()) return false;
    return !la || equalNoCase(*la, *lb);
}
