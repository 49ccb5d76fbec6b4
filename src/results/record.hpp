// One result: the genome in text form, the score line that carries the score
// and its provenance, and the score as a number.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/list.hpp"
#include "model/genome.hpp"
#include "results/score_line.hpp"
#include "store/digest.hpp"

struct ResultRecord {
    std::string genomeLine;
    std::string scoreLine;
    double score = 0;
    // What the optimiser reads from the genome line on every call, kept from
    // the first read so that a pool of 100 000 records is not parsed again
    // for each genome it makes (results/pool_scores.cpp). `genomeRuns` 0:
    // not read yet. The genome line of a record is not changed once made.
    mutable uint64_t genomeKey = 0;
    mutable int32_t genomeRuns = 0;
};

using ResultsList = List<ResultRecord>;

// Computes a record's checksum from its genome line and its score line (the
// fields before the checksum).
using ChecksumFunction =
    std::function<Digest(const std::string& genomeLine, const std::string& scoreLine)>;

// The optional fields of a score line after the score and the work figure.
struct ScoreLineFields {
    std::optional<std::string> version;   // " [%s]"
    std::optional<std::string> lattice;   // " <%s>"
    std::optional<std::string> trailing;  // " %s"
};

// Builds a record from a finished run; the checksum, when a function is
// given, covers the genome line and the score line up to the lattice field.
ResultRecord formatScoreLine(const Genome& genome, double score, double extra,
                             const ScoreLineFields& fields, const ChecksumFunction& checksum,
                             const ResultFormat& format);
// The same with checksum bytes already known (records rebuilt from a binary
// file); a score of magnitude 1e80 or more is written as 0 there.
ResultRecord formatScoreLineWithChecksum(const Genome& genome, double score, double extra,
                                         const ScoreLineFields& fields,
                                         const std::optional<Digest>& checksum,
                                         const ResultFormat& format);
// A quarantine record: the score field lists every score measured so far.
ResultRecord formatScoreLineList(const Genome& genome, const std::vector<double>& scores,
                                 double extra, const ScoreLineFields& fields,
                                 const ChecksumFunction& checksum, const ResultFormat& format);

// Whether two records describe the same evaluation: same number formats,
// scores and work figures equal to their printed precision, equal genomes
// (metadata included) and the same lattice.
bool sameResult(const ResultRecord& a, const ResultRecord& b);
