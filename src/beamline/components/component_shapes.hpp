// Small geometric helpers that several components use to size their boxes and
// to find where a particle crosses a surface during a step.
#pragma once

#include "beamline/cell_types.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"

// The unit vector along the local z axis of the cell's placed frame.
Vec3 placedAxis(const Cell& cell);

// Grows the cell's box to hold the disc of radius r around `centre` whose
// normal is the unit vector n.
void boxIncludeDisc(Cell& cell, Vec3 centre, Vec3 n, double r);

// A signed distance of a particle's position; zero on the surface.
struct SurfaceTest {
    CrossingDistanceFn distance;  // changes sign where the particle crosses
    const void* context;          // passed to distance
    // Whether a crossing point lies on the part of the surface that counts;
    // none means all of it.
    bool (*counts)(Vec3 position, const void* context);
};

// Whether a crossing lies inside the step (t0, t1]. A crossing at the very
// start of the step is the one that ended the step before, found again;
// counting it twice would kick or stall the particle there.
bool crossingInStep(const Crossing& crossing, double t0, double t1);

// The earliest counting crossing of any of the surfaces between (before, t0)
// and (after, t1): true with the particle and time there. A crossing whose
// search did not converge counts at the time it gave.
bool earliestCrossing(const Particle& before, double t0, const Particle& after, double t1,
                      const SurfaceTest* surfaces, int count, const ScatterData* table,
                      const StepContext& context, Particle& hit, double& hitTime);

// Where along the straight segment from a to b a boundary may be crossed:
// fractions in (0, 1) of the way, gathered from the roots of the boundary's
// signed function along the segment. Roots of whole planes and quadrics are
// given, not only of the parts that bound the solid: the caller tells the
// pieces between them apart with the inside test, so extra fractions cost a
// test and missing ones would let thin matter be stepped over.
struct ChordSplits {
    double* fractions;  // room for kMaxMatterSplits
    int count = 0;
    // Roots of c0 + c1 s (one at most).
    void linear(double c0, double c1);
    // Roots of c0 + c1 s + c2 s^2.
    void quadratic(double c0, double c1, double c2);
    // Roots of c[0] + c[1] s + ... + c[4] s^4, to about 1e-12 of the segment.
    void quartic(const double c[5]);

  private:
    void add(double s);
};
