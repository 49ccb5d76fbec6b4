// Whether a candidate genome is already in the pool, compared as genomeEqual
// compares (metadata of the pool records ignored).
#pragma once

#include "model/genome.hpp"
#include "results/optimiser_pool.hpp"

bool poolHoldsGenome(const OptimiserPool& pool, const Genome& candidate);
