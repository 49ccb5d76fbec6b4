// Seeded random numbers for choices outside the physics (which lattice, which
// trial type, pruning, upload names). The physics never uses these: it draws
// from keyed streams so that runs repeat exactly.
#pragma once

#include <cstdint>
#include <functional>

void seedRandom(uint32_t seed);
// 15-bit values 0..32767, from the classic linear congruential recurrence.
int rand15();
// A real number in [0, x) with 30 bits of resolution.
double uniform(double x);
// An integer in [0, n-1]; 0 when n < 1.
int64_t randomBelow(int64_t n);

// Tests fix the draws of the searches built on these: while a source is set,
// uniform(x) is source() * x, with source() in [0, 1). Empty restores the
// generator.
using UniformSource = std::function<double()>;
void setUniformSource(UniformSource source);
