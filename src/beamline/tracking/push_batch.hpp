// The fourth-order Runge-Kutta push of a batch of particles that share one
// nearby list, in structure-of-arrays form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Cell;

// Particles pushed together: few enough that a batch's arrays stay in the
// first-level cache through the four stages.
inline constexpr size_t kPushLanes = 64;

struct PushLanes {
    size_t count = 0;  // particles in the batch, at most kPushLanes
    // In: the start state; out: the state after the step.
    alignas(64) double x[kPushLanes], y[kPushLanes], z[kPushLanes];     // position, m
    alignas(64) double ux[kPushLanes], uy[kPushLanes], uz[kPushLanes];  // proper velocity
    alignas(64) double qm[kPushLanes];                                  // charge over mass
    alignas(64) double properTime[kPushLanes];                          // out: proper time gained
    alignas(64) double x0[kPushLanes], y0[kPushLanes], z0[kPushLanes];  // out: the start position
    // The stages' own: the point a stage looks at, the weighted sum of the
    // derivatives so far and the fields at the point.
    alignas(64) double px[kPushLanes], py[kPushLanes], pz[kPushLanes];
    alignas(64) double pux[kPushLanes], puy[kPushLanes], puz[kPushLanes];
    alignas(64) double sx[kPushLanes], sy[kPushLanes], sz[kPushLanes];
    alignas(64) double sux[kPushLanes], suy[kPushLanes], suz[kPushLanes];
    alignas(64) double fields[6][kPushLanes];
};

// One step of length h from time t for every lane, through the fields of the
// components of `nearby` (last to first): each lane ends with the bits that
// pushParticle gives a charged particle with that list, and x0, y0, z0 hold
// where it started. Lanes from count up to the next multiple of the field
// lane alignment are overwritten.
void pushBatch(PushLanes& lanes, const std::vector<Cell*>& nearby, double t, double h);

// One field-free step of length h for every lane: the straight line and the
// proper time that the one-particle push gives a particle without force,
// and the start in x0, y0, z0. Lanes up to the next multiple of the field
// lane alignment are overwritten.
void driftBatch(PushLanes& lanes, double h);

// Whether any listed component has a field; none (or no list) means the
// push is a straight line.
bool anyField(const std::vector<Cell*>* nearby);

// Charge over mass of a species, C/kg; 0 for neutral and unknown species.
double chargeOverMassOf(int32_t species);

// The vector width the batches use ("avx512", "avx2", "sse4", ...).
const char* pushBatchTarget();
