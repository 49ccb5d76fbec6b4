// RF cavity: a thin accelerating gap.
#include "beamline/components/rf_cavity.hpp"

#include <cmath>

#include "beamline/components/component_shapes.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/relativity.hpp"

namespace {

constexpr double kTwoPi = 6.283185307179586;
// A cavity that does not say how wide it is gets a box this wide around its axis.
constexpr double kDefaultExtent = 0.3;

double gapDistance(const Particle& p, double, const void* context) {
    const auto& cavity = *static_cast<const RfCavityData*>(context);
    return dot(p.position - cavity.position, cavity.n);
}

void init(Cell& cell, Simulation&) {
    RfCavityData& d = runDataInit<RfCavityData>(cell);
    d.position = cell.placedFrame.origin;
    d.n = placedAxis(cell);
    d.voltage = cellNumber(cell, "Voltage");
    d.omega = kTwoPi * cellNumber(cell, "Frequency");
    d.phase = cellNumber(cell, "Phase");
    d.extent = cellNumber(cell, "Bore") + cellNumber(cell, "Radius");
    if (d.extent == 0) d.extent = kDefaultExtent;
}

void bounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<RfCavityData>(runData);
    boxIncludeDisc(cell, d.position, d.n, std::fabs(d.extent));
}

int intercept(unsigned char* runData, const Particle& before, const Particle& after, double t0,
              double t1, const StepContext& context, const ScatterData* table, Particle& hit,
              double& hitTime) {
    const auto& d = runDataAs<RfCavityData>(runData);
    if (rfCavityCrossing(d, before, t0, after, t1, table, context, hit, hitTime) == 0) return 0;
    rfCavityKick(d, hit, hitTime);
    return 1;
}

}  // namespace

int rfCavityCrossing(const RfCavityData& cavity, const Particle& before, double t0,
                     const Particle& after, double t1, const ScatterData* table,
                     const StepContext& context, Particle& at, double& time) {
    Crossing c = findCrossing(before, t0, after, t1, gapDistance, &cavity, table, context);
    if (!crossingInStep(c, t0, t1)) return 0;
    at = c.particle;
    time = c.time;
    return c.found;
}

void rfCavityKick(const RfCavityData& cavity, Particle& particle, double t) {
    const Vec3 u = particle.u;
    const double g = gammaFromProperVelocity2(norm2(u));
    const double vn = dot(cavity.n, u) / g;
    if (vn == 0) {
        // Moving within the gap plane: the thin-gap kick has no meaning there.
        particle.state = StateStopped;
        return;
    }
    const double a = cavity.voltage * charge(particle.species) / (mass(particle.species) * vn);
    const double ph = cavity.omega * t + cavity.phase;
    // The transverse term: the magnetic field of the gap's changing electric
    // field, to first order in the distance from the axis.
    const double k = a * cavity.omega / (2 * kSpeedOfLight2 * g) * std::sin(ph);
    const Vec3 w = cross(particle.position - cavity.position, cavity.n);
    const Vec3 kicked = u + a * std::cos(ph) * cavity.n + k * cross(u, w);
    const double along = dot(cavity.n, kicked);
    if (along == 0 || (along > 0) != (vn > 0)) {
        particle.state = StateStopped;
        return;
    }
    particle.u = kicked;
}

const CellTypeFunctions rfCavityFunctions{
    .fieldFn = nullptr,
    .interceptFn = intercept,
    .materialFn = nullptr,
    .boundsFn = bounds,
    .initFn = init,
};
