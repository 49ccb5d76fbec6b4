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
    // Where a queued record goes that can no longer be rechecked (its
    // lattice changed under it); empty: it is dropped.
    std::string removedStore = "results_removed.dat";
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
// A quarantine record that fails its checksum (its lattice or data files
// were updated since) or is of a version too old is moved to the state's
// removed-results store with a message, and the next record is looked at:
// an unattended client must not stop at a question here.
std::optional<Genome> takeFromQueue(std::optional<std::string>& latticeName,
                                    const ChecksumFunction& checksum, QuarantineState* state);

// Where a finished run's result went.
enum class StoredWhere {
    Stored,      // in the results files
    Quarantine,  // at the head of the queue, to be run again
    Dropped,     // nowhere: the file it belonged in could not be written
};
struct StoreOutcome {
    StoredWhere where = StoredWhere::Stored;
    double score = 0;           // as recorded (the trimmed mean once quarantine is passed)
    int32_t quarantineRun = 0;  // runs of the genome in quarantine so far, when rechecked
    int32_t requiredRuns = 0;
    bool passedQuarantine = false;  // this run completed a quarantine
};

// Stores a finished run: into quarantine (the head of the queue) when the
// result needs rechecking, otherwise into `results` and the files of `paths`.
// A run without a checksum function (particle divisor, parameter overrides)
// can never count, so it never enters quarantine: it is stored directly.
StoreOutcome storeResult(Genome genome, double score, double extra,
                         const std::optional<std::string>& latticeName,
                         const ChecksumFunction& checksum,
                         const std::optional<std::string>& trailing, ResultsList& results,
                         const ResultFormat& format, QuarantineState* state,
                         const ResultPaths& paths);

// What the build needs to vary the seed between reruns of one genome: whether
// the genome is a quarantine recheck and how many runs of it are done.
struct RecheckRun {
    bool recheck = false;
    uint32_t run = 0;
};
RecheckRun recheckRunOf(const Genome& genome);

// The best score among the results of the lattice that passed all their
// rechecks ("#runs" at least requiredRuns), or none.
std::optional<double> bestRecheckedScore(const ResultsList& results,
                                         const std::optional<std::string>& latticeName,
                                         int32_t requiredRuns);
