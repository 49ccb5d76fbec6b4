// Apertures: the row of the type table and what every kind shares (the
// attributes, the plane crossing, the energy window and the actions).
#include "beamline/components/aperture.hpp"

#include <cmath>

#include "beamline/components/component_shapes.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/text.hpp"
#include "model/cell.hpp"

namespace {

// clang-format off
struct ApertureKindRow {
    const char* typeName;
    ApertureKind kind;
    ApertureShape shape;
};
constexpr ApertureKindRow kKinds[] = {
    {"rectangular-aperture", ApertureRectangular, ApertureRectangle},  // x1 < x < x2, y1 < y < y2
    {"circular-aperture",    ApertureCircular,    ApertureCircle},     // radius about the local axis
    {"edge-aperture",        ApertureEdge,        ApertureEdgeShape},  // no plate, no box
    {"moments-aperture",     ApertureMoments,     ApertureCircle},     // accumulates beam sums
    {"output-aperture",      ApertureOutput,      ApertureCircle},     // writes a CSV, dated name by default
    {"finish-aperture",      ApertureFinish,      ApertureCircle},     // particles in the window finish
};
// clang-format on

// Hits of other components this close before an aperture's own crossing (as
// a share of the step) count as simultaneous with it.
constexpr double kSameTime = 1e-9;

int32_t toInt32(double v) {
    if (!std::isfinite(v) || v >= 2147483647.0 || v <= -2147483648.0) return 0;
    return static_cast<int32_t>(v);
}

void apertureInit(Cell& cell, Simulation&) {
    ApertureData& d = runDataInit<ApertureData>(cell);
    d.action = cellHas(cell, "action") ? toInt32(cellNumber(cell, "action")) : 0;
    d.altaction = cellHas(cell, "altaction") ? toInt32(cellNumber(cell, "altaction")) : 4;
    d.minenergy = cellNumber(cell, "minenergy");
    d.maxenergy = cellNumber(cell, "maxenergy");
    d.sums[SumWeight] = -1;
    const ApertureKindRow* row = nullptr;
    for (const ApertureKindRow& r : kKinds) {
        if (equalNoCase(cell.typeName, r.typeName)) row = &r;
    }
    d.kind = row ? row->kind : ApertureUnknown;
    d.shape = row ? row->shape : ApertureNoShape;
    outputInit(d, cell, d.kind == ApertureOutput);
    switch (d.kind) {
        case ApertureRectangular:
            rectangularInit(d, cell);
            break;
        case ApertureEdge:
            edgeInit(d, cell);
            break;
        case ApertureMoments:
            momentsInit(d, cell);
            break;
        case ApertureFinish:
            circularInit(d, cell, 0);
            d.action = StateFinished;
            break;
        case ApertureCircular:
        case ApertureOutput:
            circularInit(d, cell, 0);
            break;
        default:
            break;
    }
    if (cellNumber(cell, "stopping") != 0) d.action = StateStopped;
    d.frame = cell.placedFrame;
}

void apertureBounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<ApertureData>(runData);
    if (d.shape == ApertureRectangle) rectangularBounds(d, cell);
    if (d.shape == ApertureCircle) circularBounds(d, cell);
}

double planeDistance(const Particle& particle, double, const void* context) {
    const auto& d = *static_cast<const ApertureData*>(context);
    Vec3 local = particle.position;
    frameToLocal(d.frame, local);
    return local.z;
}

bool plateStops(const ApertureData& d, Vec3 local) {
    if (d.shape == ApertureRectangle) return rectangularPlateStops(d, local.x, local.y);
    if (d.shape == ApertureCircle) return circularPlateStops(d, local.x, local.y);
    return false;
}

// Set while an aperture asks the other components of a particle whether one
// of them intercepts it first: the apertures it asks answer without
// recording anything and without asking in turn.
// Whether the particle reaches the plane at time `crossing` before any other
// nearby component stops or changes it during this step. Only then does the
// aperture record the particle: one stopped earlier in the step by a wall
// never crossed the plane. The tracking step keeps the earliest hit of all
// components, so the question is the same one it asks.
bool reachesPlaneFirst(const unsigned char* self, const Particle& before, const Particle& after,
                       double t0, double t1, const StepContext& context, const ScatterData* table,
                       double crossing) {
    const std::vector<Cell*>* nearby = nearbyList(before);
    if (!nearby) return true;
    const double earlier = crossing - kSameTime * (t1 - t0);
    StepContext probe = context;
    probe.probing = true;
    bool first = true;
    for (Cell* cell : *nearby) {
        if (cell->runData == self || !cell->interceptFn) continue;
        Particle hit;
        double when = 9e99;
        if (cell->interceptFn(cell->runData, before, after, t0, t1, probe, table, hit, when) &&
            when < earlier) {
            first = false;
            break;
        }
    }
    return first;
}

void recordCrossing(ApertureData& d, const Particle& at, double t, const StepContext& context) {
    Vec3 local = at.position;
    frameToLocal(d.frame, local);
    Vec3 u = at.u;
    frameUnrotate(d.frame, u);
    if (d.outputfile[0]) outputWrite(d, context, local, t, u, at.species, at.weight);
    if (d.kind == ApertureMoments) momentsAdd(d, local, u, kineticEnergy(at), t, at.weight);
}

int apertureIntercept(unsigned char* runData, const Particle& before, const Particle& after,
                      double t0, double t1, const StepContext& context, const ScatterData* table,
                      Particle& hit, double& hitTime) {
    auto& d = runDataAs<ApertureData>(runData);
    Crossing c = findCrossing(before, t0, after, t1, planeDistance, &d, table, context);
    if (!crossingInStep(c, t0, t1)) return 0;
    Vec3 local = c.particle.position;
    frameToLocal(d.frame, local);
    if (plateStops(d, local)) {
        hit = c.particle;
        hit.state = StateStopped;
        hitTime = c.time;
        return 1;
    }
    const double energy = kineticEnergy(c.particle);
    const bool outside =
        (d.minenergy != 0 && energy < d.minenergy) || (d.maxenergy != 0 && energy > d.maxenergy);
    int32_t state = outside ? d.altaction : d.action;
    if (!outside && !context.probing && (d.outputfile[0] || d.kind == ApertureMoments) &&
        reachesPlaneFirst(runData, before, after, t0, t1, context, table, c.time)) {
        recordCrossing(d, c.particle, c.time, context);
    }
    if (state == 0) {
        // Crossed and left alone: the step goes on to its end.
        hit = after;
        hitTime = t1;
        return 1;
    }
    hit = c.particle;
    hit.state = state;
    hitTime = c.time;
    if (!outside) {
        hit.properTime = c.time;
    } else if (state == StateWrongEnergy) {
        // How far outside the window: the score ranks near misses by these.
        hit.t = d.maxenergy != 0 ? energy / d.maxenergy : 0;
        hit.nextDecay = d.minenergy != 0 ? energy / d.minenergy : 0;
    }
    return 1;
}

}  // namespace

const CellTypeFunctions apertureFunctions{
    .interceptFn = apertureIntercept,
    .boundsFn = apertureBounds,
    .initFn = apertureInit,
};
