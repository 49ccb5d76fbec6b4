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
