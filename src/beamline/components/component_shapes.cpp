#include "beamline/components/component_shapes.hpp"

#include <cmath>

#include "model/cell_geometry.hpp"

namespace {
constexpr double kSameTime = 1e-9;  // of the step
}  // namespace

Vec3 placedAxis(const Cell& cell) {
    Vec3 z{0, 0, 1};
    frameRotate(cell.placedFrame, z);
    double length = norm(z);
    return length > 0 ? z * (1 / length) : Vec3{0, 0, 1};
}

void boxIncludeDisc(Cell& cell, Vec3 centre, Vec3 n, double r) {
    // Along each axis a tilted disc reaches r times the sine of the angle
    // between that axis and its normal.
    auto reach = [&](double ni) { return r * std::sqrt(std::fmax(0.0, 1 - ni * ni)); };
    Vec3 half{reach(n.x), reach(n.y), reach(n.z)};
    cellBoxInclude(cell, centre - half);
    cellBoxInclude(cell, centre + half);
}

bool crossingInStep(const Crossing& crossing, double t0, double t1) {
    return crossing.found != 0 && crossing.time > t0 + kSameTime * (t1 - t0);
}

bool earliestCrossing(const Particle& before, double t0, const Particle& after, double t1,
                      const SurfaceTest* surfaces, int count, const ScatterData* table,
                      const StepContext& context, Particle& hit, double& hitTime) {
    bool found = false;
    double best = 9e99;
    for (int i = 0; i < count; i++) {
        const SurfaceTest& s = surfaces[i];
        Crossing c = findCrossing(before, t0, after, t1, s.distance, s.context, table, context);
        if (!crossingInStep(c, t0, t1) || !(c.time < best)) continue;
        if (c.found == 1 && s.counts && !s.counts(c.particle.position, s.context)) continue;
        best = c.time;
        hit = c.particle;
        hitTime = c.time;
        found = true;
    }
    return found;
}

void ChordSplits::add(double s) {
    if (s > 0 && s < 1 && count < kMaxMatterSplits) fractions[count++] = s;
}

void ChordSplits::linear(double c0, double c1) {
    if (c1 != 0) add(-c0 / c1);
}

void ChordSplits::quadratic(double c0, double c1, double c2) {
    if (c2 == 0) return linear(c0, c1);
    double disc = c1 * c1 - 4 * c2 * c0;
    if (disc < 0) return;
    // The root of larger size first, then the other from their product,
    // so that neither is the small difference of two large numbers.
    double q = -0.5 * (c1 + std::copysign(std::sqrt(disc), c1));
    if (q == 0) return add(0);
    add(q / c2);
    add(c0 / q);
}

namespace {

double polynomial(const double* c, int degree, double s) {
    double v = c[degree];
    for (int i = degree; i-- > 0;) v = v * s + c[i];
    return v;
}

// The roots of a polynomial of degree 1 to 4 in [0, 1], ascending: the
// roots of its derivative cut the interval into pieces on which it is
// monotonic, and each piece whose ends differ in sign holds one root,
// found by bisection.
int unitRoots(const double* c, int degree, double* roots) {
    if (degree == 1) {
        if (c[1] == 0) return 0;
        double s = -c[0] / c[1];
        roots[0] = s;
        return s >= 0 && s <= 1 ? 1 : 0;
    }
    double derivative[4], stationary[4];
    for (int i = 1; i <= degree; i++) derivative[i - 1] = i * c[i];
    int pieces = unitRoots(derivative, degree - 1, stationary);
    double ends[6];
    int n = 0;
    ends[n++] = 0;
    for (int i = 0; i < pieces; i++) ends[n++] = stationary[i];
    ends[n++] = 1;
    int found = 0;
    for (int i = 0; i + 1 < n; i++) {
        double lo = ends[i], hi = ends[i + 1];
        double flo = polynomial(c, degree, lo), fhi = polynomial(c, degree, hi);
        if (flo * fhi > 0 || !(hi > lo)) continue;
        for (int k = 0; k < 45 && hi - lo > 1e-13; k++) {
            double mid = 0.5 * (lo + hi), f = polynomial(c, degree, mid);
            if ((f < 0) == (flo < 0)) {
                lo = mid;
                flo = f;
            } else {
                hi = mid;
            }
        }
        roots[found++] = 0.5 * (lo + hi);
    }
    return found;
}

}  // namespace

void ChordSplits::quartic(const double c[5]) {
    int degree = 4;
    while (degree > 0 && c[degree] == 0) degree--;
    if (degree == 0) return;
    double roots[4];
    int n = unitRoots(c, degree, roots);
    for (int i = 0; i < n; i++) add(roots[i]);
}
