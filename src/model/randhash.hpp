// Keyed random numbers: pure functions of two 32-bit keys, with no hidden
// state, so a particle that keys its draws by its own stream and a counter
// gets the same numbers on every run and on every thread.
#pragma once

#include <cstdint>

uint32_t randhash_p(uint32_t a, uint32_t b);
uint32_t randhash_q(uint32_t a, uint32_t b);
double randuniform(uint32_t a, uint32_t b);            // [0, 1)
uint32_t randint(uint32_t n, uint32_t a, uint32_t b);  // [0, n)
double randexp(uint32_t a, uint32_t b);                // exponential, mean 1
