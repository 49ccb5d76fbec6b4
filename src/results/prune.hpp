// Thinning out the results database when it grows past its size limit: each
// lattice keeps a proportion of its records, chosen by a keep mode, and the
// removed records may go to a store file instead of being discarded.
#pragma once

#include <cstdint>
#include <string>

struct PruneSettings {
    int64_t maxBytes = 0;         // 0 or less: never prune
    float keepProportion = 0.5f;  // of each lattice's records
    char keepMode = 'B';          // 'B'est, 'F'irst, 'L'atest or 'R'andom
    std::string removedStore;     // empty: removed records are discarded
};

// Prunes `path` when it is larger than the limit. The removed records reach
// the store before the database is rewritten, so a crash in between can
// duplicate records but never lose one.
void pruneResults(const std::string& path, const PruneSettings& settings);

// How many of a lattice's `count` records survive: the proportion of them,
// rounded up, and at least one.
int64_t pruneKeepCount(int64_t count, float keepProportion);
