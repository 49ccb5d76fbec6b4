// Solenoid: the field of a finite coil, and the coil as matter.
#include <cmath>
#include <vector>

#include "beamline/cell_types.hpp"
#include "beamline/components/component_shapes.hpp"
#include "beamline/components/solenoid.hpp"
#include "beamline/components/solenoid_field.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell_geometry.hpp"

namespace {

// Beyond 1.2 radii the expansion below is no longer a field at all.
constexpr double kFieldReach = 1.2;
// The box reaches this many radii beyond each end: the fringe field there is
// below 1e-4 of B0.
constexpr double kBoxEndRadii = 13;
// Outer radius of the coil when the lattice gives none, in inner radii.
constexpr double kDefaultOuterRadii = 5;

// Axial coordinate s from the entry face and the radial vector w.
void axialRadial(const SolenoidData& d, Vec3 p, double& s, Vec3& w) {
    Vec3 r = p - d.start;
    s = dot(r, d.n);
    w = r - s * d.n;
}

void init(Cell& cell, Simulation&) {
    SolenoidData& d = runDataInit<SolenoidData>(cell);
    d.start = cell.placedFrame.origin;
    d.n = placedAxis(cell);
    d.radius = cellNumber(cell, "radius");
    d.invRadius = d.radius != 0 ? 1 / d.radius : 0;
    d.length = cellNumber(cell, "length");
    d.field = cellNumber(cell, "field");
    d.outerRadius = cellHas(cell, "outerradius") ? cellNumber(cell, "outerradius")
                                                 : kDefaultOuterRadii * d.radius;
    d.radiusLimit2 = kFieldReach * kFieldReach * d.radius * d.radius;
    if (cellHas(cell, "OffTime")) d.offTime = cellNumber(cell, "OffTime");
    if (cellHas(cell, "OnTime")) d.onTime = cellNumber(cell, "OnTime");
    // A coil without current is matter only.
    if (d.field == 0 || d.radius == 0) cell.fieldFn = nullptr;
}

int material(const unsigned char* runData, double x, double y, double z, double t) {
    const auto& d = runDataAs<SolenoidData>(runData);
    if (!solenoidIsOn(d, t)) return 0;
    double s;
    Vec3 w;
    axialRadial(d, Vec3{x, y, z}, s, w);
    double rho2 = norm2(w);
    return s > 0 && s < d.length && rho2 > d.radius * d.radius &&
           rho2 < d.outerRadius * d.outerRadius;
}

// Where the chord from a to b meets the coil's end planes and its two
// cylinders (whole, and whether the coil is switched on or not).
int coilSplits(const unsigned char* runData, Vec3 a, Vec3 b, double fractions[kMaxMatterSplits]) {
    const auto& d = runDataAs<SolenoidData>(runData);
    double sa = 0, sb = 0;
    Vec3 wa, wb;
    axialRadial(d, a, sa, wa);
    axialRadial(d, b, sb, wb);
    Vec3 dw = wb - wa;
    ChordSplits out{fractions};
    out.linear(sa, sb - sa);
    out.linear(sa - d.length, sb - sa);
    double c0 = norm2(wa), c1 = 2 * dot(wa, dw), c2 = norm2(dw);
    out.quadratic(c0 - d.radius * d.radius, c1, c2);
    out.quadratic(c0 - d.outerRadius * d.outerRadius, c1, c2);
    return out.count;
}

// The coil's four surfaces: the two end annuli and the two cylinders.
struct CoilSurface {
    const SolenoidData* coil;
    int which;  // 0 entry face, 1 exit face, 2 inner cylinder, 3 outer cylinder
};

// Signed distance of a point from one coil surface: its sign says the side.
double surfaceDistance(const SolenoidData& coil, int which, double s, double rho2) {
    switch (which) {
        case 0:
            return s;
        case 1:
            return s - coil.length;
        case 2:
            return rho2 - coil.radius * coil.radius;
        default:
            return rho2 - coil.outerRadius * coil.outerRadius;
    }
}

double coilDistance(const Particle& particle, double, const void* context) {
    const auto& c = *static_cast<const CoilSurface*>(context);
    double s;
    Vec3 w;
    axialRadial(*c.coil, particle.position, s, w);
    return surfaceDistance(*c.coil, c.which, s, norm2(w));
}

// Whether the step's end points lie on different sides of any coil surface.
// Nearly every step of a beam inside a channel crosses none, and then the
// crossing searches (which would each find the same thing) are skipped.
// solenoidInterceptsBatch (solenoid_lanes.cpp) does the same for a batch.
// A step whose ends lie on two sides of an end face's plane meets the face
// only if it can reach the annulus: in the bore, more than a step's travel
// inside the coil, it passes the plane through the hole.
bool mayCrossCoil(const SolenoidData& coil, Vec3 before, Vec3 after, const FaceReach& faces) {
    double s0, s1;
    Vec3 w0, w1;
    axialRadial(coil, before, s0, w0);
    axialRadial(coil, after, s1, w1);
    double rho0 = norm2(w0), rho1 = norm2(w1);
    bool planes = false, cylinders = false;
    for (int which = 0; which < 4; which++) {
        bool sides =
            surfaceDistance(coil, which, s0, rho0) * surfaceDistance(coil, which, s1, rho1) <= 0;
        (which < 2 ? planes : cylinders) |= sides;
    }
    return cylinders || (planes && rho0 >= faces.least2 && rho0 <= faces.most2);
}

bool onCoilSurface(Vec3 position, const void* context) {
    const auto& c = *static_cast<const CoilSurface*>(context);
    double s;
    Vec3 w;
    axialRadial(*c.coil, position, s, w);
    if (c.which >= 2) return s >= 0 && s <= c.coil->length;
    double rho2 = norm2(w);
    return rho2 >= c.coil->radius * c.coil->radius &&
           rho2 <= c.coil->outerRadius * c.coil->outerRadius;
}

// A particle that meets the coil stops there.
int intercept(unsigned char* runData, const Particle& before, const Particle& after, double t0,
              double t1, const StepContext& context, const ScatterData* table, Particle& hit,
              double& hitTime) {
    const auto& d = runDataAs<SolenoidData>(runData);
    if (!solenoidIsOn(d, t0) ||
        !mayCrossCoil(d, before.position, after.position, solenoidFaceReach(d, t0, t1)))
        return 0;
    CoilSurface faces[4] = {{&d, 0}, {&d, 1}, {&d, 2}, {&d, 3}};
    SurfaceTest tests[4];
    for (int i = 0; i < 4; i++) tests[i] = {coilDistance, &faces[i], onCoilSurface};
    if (!earliestCrossing(before, t0, after, t1, tests, 4, table, context, hit, hitTime)) return 0;
    hit.state = StateStopped;
    return 1;
}

void bounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<SolenoidData>(runData);
    const double reach = kBoxEndRadii * std::fabs(d.radius);
    const double r = std::fabs(d.outerRadius);
    boxIncludeDisc(cell, d.start - reach * d.n, d.n, r);
    boxIncludeDisc(cell, d.start + (d.length + reach) * d.n, d.n, r);
}

void collectSolenoids(Cell& cell, std::vector<Cell*>& out) {
    if (cell.kind == Machine && cell.interceptFn == intercept) out.push_back(&cell);
    for (const CellPtr& child : cell.children) {
        if (child) collectSolenoids(*child, out);
    }
}

double& axisOf(Vec3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// Neighbouring solenoids overlap through their fringe boxes; each box is cut
// back at the near face of every other solenoid, so that the nearby lists
// hold only the coils whose field matters, then grown again to hold its own
// coil with a margin.
}  // namespace

void solenoidTrimBoxes(Cell& root) {
    std::vector<Cell*> solenoids;
    collectSolenoids(root, solenoids);
    struct Extent {
        Vec3 centre;
        double half;
        double radius;
    };
    std::vector<Extent> extents;
    for (Cell* cell : solenoids) {
        const auto& d = runDataAs<SolenoidData>(cell->runData);
        extents.push_back({d.start + (0.5 * d.length) * d.n, 0.5 * d.length, d.radius});
    }
    for (size_t j = 0; j < solenoids.size(); j++) {
        Cell& box = *solenoids[j];
        for (size_t k = 0; k < solenoids.size(); k++) {
            if (k == j) continue;
            Vec3 dist = extents[k].centre - extents[j].centre;
            Vec3 centre = extents[k].centre;
            int axis = 1;
            double ax = std::fabs(dist.x), ay = std::fabs(dist.y), az = std::fabs(dist.z);
            if (ax > ay && ax > az) {
                axis = 0;
            } else if (az >= ay) {
                axis = 2;
            }
            double h = extents[k].half;
            if (axisOf(dist, axis) <= 0) {
                double& lo = axisOf(box.boxMin, axis);
                lo = std::fmax(lo, axisOf(centre, axis) + h);
            } else {
                double& hi = axisOf(box.boxMax, axis);
                hi = std::fmin(hi, axisOf(centre, axis) - h);
            }
        }
        const Extent& own = extents[j];
        double half = 1.5 * std::sqrt(own.half * own.half + own.radius * own.radius);
        cellBoxInclude(box, own.centre - Vec3{half, half, half});
        cellBoxInclude(box, own.centre + Vec3{half, half, half});
    }
}

const CellTypeFunctions solenoidFunctions{
    .fieldFn = solenoidField,
    .fieldBatchFn = solenoidFieldBatch,
    .interceptFn = intercept,
    .materialFn = material,
    .boundsFn = bounds,
    .initFn = init,
    .matterSplitsFn = coilSplits,
    .interceptsBatchFn = solenoidInterceptsBatch,
};
