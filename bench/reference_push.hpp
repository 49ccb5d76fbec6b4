// The reference push: a standalone structure-of-arrays fourth-order
// Runge-Kutta loop through three analytic solenoids, with nothing of the
// engine around it (no element search, no lists, no interceptions). It is the
// pace of the hardware for this field, plainly and with vectors, and the
// engine's speed on the same field is measured against it.
#pragma once

#include <cstddef>
#include <vector>

// One coil along its axis n from `start`: radius a (as 1/a), length L,
// field B0 (tesla), no field beyond limit2 = (1.2 a)^2 from the axis.
struct ReferenceCoil {
    double sx, sy, sz, nx, ny, nz;
    double invA, length, limit2, b0;
};
inline constexpr int kReferenceCoils = 3;

// The particles, all of one charge over mass; arrays padded to a multiple of
// 8 lanes and aligned to 64 bytes by the caller.
struct ReferenceBeam {
    size_t count = 0;
    double* x;
    double* y;
    double* z;
    double* ux;
    double* uy;
    double* uz;
    double qm = 0;
};

// `steps` steps of length h from time 0, one particle after another.
void referencePushScalar(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps);
// The same with the widest vectors the CPU has, a batch of lanes at a time.
void referencePushVector(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps);
