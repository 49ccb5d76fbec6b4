#include "results/optimiser_pool.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/random.hpp"
#include "platform/files.hpp"
#include "results/binary_results.hpp"
#include "results/pool_scores.hpp"
#include "results/text_results.hpp"

namespace {

constexpr double kTournamentExponentLow = 0.0;
constexpr double kTournamentExponentHigh = 2.0;
constexpr int kSecondParentRedraws = 10;

ResultsList loadSampleFile(const std::string& path, const std::string& lattice) {
    BinaryLoadStatus status = BinaryLoadStatus::Ok;
    ResultsList loaded = loadBinaryResults(path, kProgramFormat, &status);
    if (status == BinaryLoadStatus::NotBinary) return loadResults(path, lattice);
    // A binary file carries every lattice's records; keep this lattice's only.
    ResultsList mine;
    listInit(mine);
    for (ResultRecord& record : loaded) {
        if (latticeMatches(record.scoreLine, lattice)) listAppend(mine, std::move(record));
    }
    return mine;
}

}  // namespace

void poolAddLocal(OptimiserPool& pool, const ResultsList& results, const std::string& lattice) {
    for (const ResultRecord& record : results) {
        if (latticeMatches(record.scoreLine, lattice)) pool.records.push_back(&record);
    }
    pool.localCount = pool.records.size();
}

void poolAddSampleFile(OptimiserPool& pool, const std::string& lattice) {
    if (!isSafeFileName(lattice)) return;
    std::string stem = std::string(kSampleFolder) + "/" + lattice;
    std::string path = stem + ".txt";
    if (!fileExists(path) || isDirectory(path)) {
        path = stem + ".bin";
        if (!fileExists(path) || isDirectory(path)) return;
    }
    pool.samples = loadSampleFile(path, lattice);
    for (uint32_t i = pool.samples.count(); i-- > 0;) pool.records.push_back(&pool.samples[i]);
}

OptimiserPool buildPool(const ResultsList& results, const std::string& lattice) {
    OptimiserPool pool;
    listInit(pool.samples);
    poolAddLocal(pool, results, lattice);
    poolAddSampleFile(pool, lattice);
    return pool;
}

Parent tournament(const OptimiserPool& pool) {
    Parent parent;
    int64_t n = static_cast<int64_t>(pool.size());
    if (n == 0) return parent;
    double x = uniform(kTournamentExponentHigh - kTournamentExponentLow) + kTournamentExponentLow;
    double hits = std::pow(static_cast<double>(n), x);
    // The expected number of distinct records that `hits` draws with
    // replacement would reach.
    double distinct = (1 - std::exp(-hits / static_cast<double>(n))) * static_cast<double>(n);
    int64_t k = std::max<int64_t>(static_cast<int64_t>(distinct), 1);
    int64_t at = randomBelow(n);
    int64_t step = 1;
    if (n >= 2) {
        do {
            step = randomBelow(n - 1) + 1;
        } while (std::gcd(step, n) > 1);
    }
    double best = -9e99;
    int64_t kept = at;  // stays the first visited if no score beats the floor
    for (int64_t i = 0; i < k; i++, at = (at + step) % n) {
        double score = poolScore(pool, static_cast<size_t>(at));
        if (score > best) {
            best = score;
            kept = at;
        }
    }
    const ResultRecord& record = pool[static_cast<size_t>(kept)];
    parent.genome = genomeFromText(record.genomeLine, true);
    genomeDropMeta(parent.genome);
    parent.score = poolScore(pool, static_cast<size_t>(kept));
    parent.found = true;
    return parent;
}

std::pair<Genome, Genome> twoParents(const OptimiserPool& pool) {
    Genome a = tournament(pool).genome;
    Genome b = tournament(pool).genome;
    for (int redraws = 0; genomeEqual(a, b) && redraws < kSecondParentRedraws; redraws++) {
        b = tournament(pool).genome;
    }
    return {std::move(a), std::move(b)};
}
