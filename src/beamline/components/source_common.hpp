// What the two file-reading particle sources share: how many copies each
// data line gives and how the copies are numbered, the keyed draws of their
// rotations and time spreads, the speed of a line and the rotation about the
// beam axis.
#pragma once

#include <cstdint>
#include <string>

#include "model/vec3.hpp"

struct Cell;
struct Simulation;

// More particles than this from one source are refused: a lattice could
// otherwise ask for copies enough to exhaust the memory of the machine.
inline constexpr int64_t kMaxSourceParticles = 10'000'000;

// Each data line gives timeCopies x axialCopies particles of weight w/total,
// numbered (line + 1) x idStep + copy - 1 for copy = 1 .. total.
struct SourceCopies {
    int32_t timeCopies = 1;   // `timespread`, 1 when 0
    int32_t axialCopies = 1;  // `axial`, 1 when 0
    int32_t total = 1;
    int32_t idStep = 1;  // the smallest power of ten above total - 1, at most 10^9
};

// False, with `error` saying why, when the counts are negative or the
// particles or their identifiers would not fit (`lines` lines per copy).
bool sourceCopies(double timespread, double axial, int64_t lines, SourceCopies& copies,
                  std::string& error);
inline int32_t sourceParticleId(const SourceCopies& copies, int32_t line, int32_t copy) {
    return (line + 1) * copies.idStep + copy - 1;
}

// The number of lines a source reads per copy: the count divided by the
// particle divisor (a divisor below 1 divides by 1).
int64_t sourceLinesToRead(int64_t counted, int32_t particleDivisor);

// A standard normal deviate keyed by (a, b): the two uniforms of the pair
// that b belongs to, as sine (b odd) or cosine (b even) of Box and Muller.
double randgauss(uint32_t a, uint32_t b);

// The keyed draws of one source: the simulation's effective seed and a
// counter that starts at the source cell's index among the top-level
// elements times a multiplier and moves on after every draw.
struct SourceDraws {
    uint32_t key = 0;
    uint32_t counter = 0;
    double uniform();
    double gauss();
};
SourceDraws sourceDraws(const Simulation& simulation, const Cell& source, uint32_t multiplier);

// gamma v of a particle of kinetic energy `kinetic` and rest energy `rest`
// (both joules) moving along `direction`.
Vec3 sourceProperVelocity(double kinetic, double rest, Vec3 direction);

// Turns a particle's position and direction together about the beam axis by
// an angle drawn uniformly from the source's stream (one draw).
void rotateRandomlyAboutBeamAxis(Vec3& position, Vec3& direction, SourceDraws& draws);

// Progress lines every 1000 lines.
inline bool sourceProgressDue(int64_t done) {
    return done % 1000 == 0;
}
