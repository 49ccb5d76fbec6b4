// How often each trial type is chosen: the configured ratios, reweighted by
// what the recent results say each type achieves on this lattice, and the
// share of purely random genomes while the pool is too small to learn from.
#pragma once

#include <array>
#include <cstddef>

#include "results/optimiser_pool.hpp"
#include "results/trial_types.hpp"

using TrialRatios = std::array<double, kTrialTypeCount>;

// The share of purely random genomes: all of them for an empty or
// one-record pool; then max(1, n)^-0.4 (30 % at 20 records, 9 % at 400)
// while no result of the pool transmits any beam (every score is a
// penalty, zero or below), 1/n (5 % at 20 records) once one does.
double randomShare(size_t poolSize, bool transmits);

// The configured ratios learnt from the pool's last local results: a type's
// ratio is scaled by how often its results reached the top of the pool
// against how often all types' results did, with its configured ratio as a
// prior worth a few uses and the scale kept within 0.1 to 10. Rerun is left
// as configured, except that a pool whose repeated genomes all scored the
// same (a lattice without noise) gives it nothing to find out.
TrialRatios learntRatios(const OptimiserPool& pool, const TrialRatios& configured);
