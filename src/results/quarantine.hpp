// Quarantine and the recheck queue. A run's score is noisy, so a result that
// would become the best known for its lattice is run again several times
// before one record with the trimmed mean of its scores is stored. The genome
// waiting for its next run is the first record of the queue file, which also
// takes test records to be run once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/genome.hpp"
#include "results/record.hpp"

// The fewest runs a quarantined result needs; fewer would let a lucky run count.
inline constexpr int32_t kMinRequiredRuns = 5;

struct QuarantineState {
    std::optional<std::string> queuePath;  // none: no quarantine and no queue
    std::vector<double> scores;            // of the genome in quarantine so far
    double extraTotal = 0;                 // work figure of the earlier runs
    int32_t requiredRuns = kMinRequiredRuns;
    bool pending = false;  // the current run's genome is (still) in quarantine
};

// Where stored results go; an empty path is not written.
struct ResultPaths {
    std::string database = "results.dat";
    std::string upload = "results.txt";
};

// "#queued" values.
inline constexpr int32_t kQueuedRecheck = 1;
inline constexpr int32_t kQueuedTest = 2;

// The genome to run next from the head of the queue, or none (the optimiser
// then makes one). Sets `latticeName` to the record's lattice when it was
// unset; a record for another lattice than a set one stays in the queue.
std::optional<Genome> takeFromQueue(std::optional<std::string>& latticeName,
                                    const ChecksumFunction& checksum, QuarantineState* state);

// Stores a finished run: into quarantine (the head of the queue) when the
// result needs rechecking, otherwise into `results` and the files of `paths`.
void storeResult(Genome genome, double score, double extra,
                 const std::optional<std::string>& latticeName, const ChecksumFunction& checksum,
                 const std::optional<std::string>& trailing, ResultsList& results,
                 const ResultFormat& format, QuarantineState* state, const ResultPaths& paths);

// What the build needs to vary the seed between reruns of one genome: whether
// the genome is a quarantine recheck and how many runs of it are done.
struct RecheckRun {
    bool recheck = false;
    uint32_t run = 0;
};
RecheckRun recheckRunOf(const Genome& genome);
