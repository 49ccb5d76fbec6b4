// Blockage: solid shapes that absorb particles.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "beamline/cell_types.hpp"
#include "beamline/components/component_shapes.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "model/relativity.hpp"

namespace {

enum BlockageShape : int32_t {
    ShapeNone = 0,  // a type text that names no shape: nothing inside
    ShapeCuboid = 1,
    ShapeCylinder = 2,
    ShapeSpheroid = 3,
    ShapeAnnulus = 4,
    ShapeToroid = 5,
};

// Packed to four bytes so that the shape code after the seventeen doubles
// keeps the record within its 140 bytes; the doubles still lie on 8-byte
// boundaries, because the record starts on one.
#pragma pack(push, 4)
struct BlockageData {
    double axes[9];  // placed frame, row by row: columns are the local axes
    double origin[3];
    double sizeX, sizeY, sizeZ;  // local extents, metres
    double r;                    // annulus inner radius, toroid minor radius
    double absorptionLength;     // metres; negative: never absorbs
    int32_t shape;
};
#pragma pack(pop)
static_assert(sizeof(BlockageData) <= kBlockageRunDataBytes);

Vec3 toLocal(const BlockageData& d, Vec3 p) {
    const double* a = d.axes;
    Vec3 q{p.x - d.origin[0], p.y - d.origin[1], p.z - d.origin[2]};
    return {a[0] * q.x + a[3] * q.y + a[6] * q.z, a[1] * q.x + a[4] * q.y + a[7] * q.z,
            a[2] * q.x + a[5] * q.y + a[8] * q.z};
}
Vec3 toGlobal(const BlockageData& d, Vec3 q) {
    const double* a = d.axes;
    return {a[0] * q.x + a[1] * q.y + a[2] * q.z + d.origin[0],
            a[3] * q.x + a[4] * q.y + a[5] * q.z + d.origin[1],
            a[6] * q.x + a[7] * q.y + a[8] * q.z + d.origin[2]};
}

double sq(double v) {
    return v * v;
}
// (x/X)^2 + (y/Y)^2: 1 on the elliptic mantle of the cylinder and annulus.
double ellipse(const BlockageData& d, Vec3 q) {
    return sq(q.x / d.sizeX) + sq(q.y / d.sizeY);
}
// The annulus's inner mantle as a value of ellipse().
double innerEllipse(const BlockageData& d) {
    return sq(d.r / std::fmax(d.sizeX, d.sizeY));
}
// Distance from the ring of radius X in the local x-y plane, squared, less r^2.
double torusValue(const BlockageData& d, Vec3 q) {
    return sq(std::hypot(q.x, q.y) - d.sizeX) + sq(q.z) - sq(d.r);
}

bool insideLocal(const BlockageData& d, Vec3 q) {
    switch (d.shape) {
        case ShapeCuboid:
            return q.x > 0 && q.x < d.sizeX && q.y > 0 && q.y < d.sizeY && q.z > 0 && q.z < d.sizeZ;
        case ShapeCylinder:
            return ellipse(d, q) < 1 && q.z > 0 && q.z < d.sizeZ;
        case ShapeSpheroid:
            return ellipse(d, q) + sq(q.z / d.sizeZ) < 1;
        case ShapeAnnulus: {
            double e = ellipse(d, q);
            return innerEllipse(d) < e && e < 1 && q.z > 0 && q.z < d.sizeZ;
        }
        case ShapeToroid:
            return torusValue(d, q) < 0;
        default:
            return false;
    }
}

// One bounding surface of a shape, as a signed function of the local
// position, and the part of it that belongs to the shape's boundary.
enum Surface : int32_t {
    PlaneX0,
    PlaneX1,
    PlaneY0,
    PlaneY1,
    PlaneZ0,
    PlaneZ1,      // cuboid faces, and end caps
    Mantle,       // cylinder, annulus outer mantle
    InnerMantle,  // annulus inner mantle
    Spheroid,
    Torus,
};
struct Face {
    const BlockageData* block;
    Surface surface;
};

double surfaceValue(const BlockageData& d, Surface s, Vec3 q) {
    switch (s) {
        case PlaneX0:
            return q.x;
        case PlaneX1:
            return q.x - d.sizeX;
        case PlaneY0:
            return q.y;
        case PlaneY1:
            return q.y - d.sizeY;
        case PlaneZ0:
            return q.z;
        case PlaneZ1:
            return q.z - d.sizeZ;
        case Mantle:
            return ellipse(d, q) - 1;
        case InnerMantle:
            return ellipse(d, q) - innerEllipse(d);
        case Spheroid:
            return ellipse(d, q) + sq(q.z / d.sizeZ) - 1;
        default:
            return torusValue(d, q);
    }
}

double faceDistance(const Particle& particle, double, const void* context) {
    const auto& f = *static_cast<const Face*>(context);
    return surfaceValue(*f.block, f.surface, toLocal(*f.block, particle.position));
}

bool within(double v, double hi) {
    return v >= 0 && v <= hi;
}

bool onFace(Vec3 position, const void* context) {
    const auto& f = *static_cast<const Face*>(context);
    const BlockageData& d = *f.block;
    Vec3 q = toLocal(d, position);
    if (d.shape == ShapeCuboid) {
        switch (f.surface) {
            case PlaneX0:
            case PlaneX1:
                return within(q.y, d.sizeY) && within(q.z, d.sizeZ);
            case PlaneY0:
            case PlaneY1:
                return within(q.x, d.sizeX) && within(q.z, d.sizeZ);
            default:
                return within(q.x, d.sizeX) && within(q.y, d.sizeY);
        }
    }
    switch (f.surface) {
        case PlaneZ0:
        case PlaneZ1: {
            double e = ellipse(d, q);
            return e <= 1 && (d.shape != ShapeAnnulus || e >= innerEllipse(d));
        }
        case Mantle:
        case InnerMantle:
            return within(q.z, d.sizeZ);
        default:
            return true;  // closed surfaces
    }
}

// The surfaces of each shape; returns how many.
int facesOf(const BlockageData& d, Face* faces) {
    auto put = [&](std::initializer_list<Surface> list) {
        int n = 0;
        for (Surface s : list) faces[n++] = {&d, s};
        return n;
    };
    switch (d.shape) {
        case ShapeCuboid:
            return put({PlaneX0, PlaneX1, PlaneY0, PlaneY1, PlaneZ0, PlaneZ1});
        case ShapeCylinder:
            return put({Mantle, PlaneZ0, PlaneZ1});
        case ShapeSpheroid:
            return put({Spheroid});
        case ShapeAnnulus:
            return put({Mantle, InnerMantle, PlaneZ0, PlaneZ1});
        case ShapeToroid:
            return put({Torus});
        default:
            return 0;
    }
}

// Where the chord from a to b crosses the shape's surfaces (whole planes and
// quadrics): each surface's value along q(s) = qa + s dq is a polynomial in s.
int splits(const unsigned char* runData, Vec3 a, Vec3 b, double fractions[kMaxMatterSplits]) {
    const auto& d = runDataAs<BlockageData>(runData);
    Vec3 qa = toLocal(d, a), dq = toLocal(d, b) - qa;
    ChordSplits out{fractions};
    // (x/X)^2 + (y/Y)^2 [+ (z/Z)^2] along the chord, as c0 + c1 s + c2 s^2.
    auto ellipseAlong = [&](bool withZ, double c[3]) {
        double ix2 = 1 / sq(d.sizeX), iy2 = 1 / sq(d.sizeY), iz2 = withZ ? 1 / sq(d.sizeZ) : 0;
        c[0] = sq(qa.x) * ix2 + sq(qa.y) * iy2 + sq(qa.z) * iz2;
        c[1] = 2 * (qa.x * dq.x * ix2 + qa.y * dq.y * iy2 + qa.z * dq.z * iz2);
        c[2] = sq(dq.x) * ix2 + sq(dq.y) * iy2 + sq(dq.z) * iz2;
    };
    double c[3];
    switch (d.shape) {
        case ShapeCuboid:
            out.linear(qa.x, dq.x);
            out.linear(qa.x - d.sizeX, dq.x);
            out.linear(qa.y, dq.y);
            out.linear(qa.y - d.sizeY, dq.y);
            out.linear(qa.z, dq.z);
            out.linear(qa.z - d.sizeZ, dq.z);
            break;
        case ShapeCylinder:
        case ShapeAnnulus:
            out.linear(qa.z, dq.z);
            out.linear(qa.z - d.sizeZ, dq.z);
            ellipseAlong(false, c);
            out.quadratic(c[0] - 1, c[1], c[2]);
            if (d.shape == ShapeAnnulus) out.quadratic(c[0] - innerEllipse(d), c[1], c[2]);
            break;
        case ShapeSpheroid:
            ellipseAlong(true, c);
            out.quadratic(c[0] - 1, c[1], c[2]);
            break;
        case ShapeToroid: {
            // (|q|^2 + X^2 - r^2)^2 - 4 X^2 (x^2 + y^2): zero on the torus, and of
            // the sign of the distance from the ring less r for a ring torus.
            double p0 = norm2(qa) + sq(d.sizeX) - sq(d.r), p1 = 2 * dot(qa, dq), p2 = norm2(dq);
            double k = 4 * sq(d.sizeX);
            double r0 = sq(qa.x) + sq(qa.y), r1 = 2 * (qa.x * dq.x + qa.y * dq.y);
            double r2 = sq(dq.x) + sq(dq.y);
            const double quartic[5] = {p0 * p0 - k * r0, 2 * p0 * p1 - k * r1,
                                       p1 * p1 + 2 * p0 * p2 - k * r2, 2 * p1 * p2, p2 * p2};
            out.quartic(quartic);
            break;
        }
        default:
            break;
    }
    return out.count;
}

void init(Cell& cell, Simulation&) {
    size_t dash = cell.typeName.find('-');
    if (dash != std::string::npos) cellSetText(cell, "Type", cell.typeName.substr(0, dash));
    const std::string* typeText = cellText(cell, "Type");
    std::string type = typeText ? *typeText : std::string();
    double x = cellNumber(cell, "Xsize"), y = cellNumber(cell, "Ysize");
    double z = cellNumber(cell, "Zsize"), radius = cellNumber(cell, "radius"), r = 0;
    int32_t shape = ShapeNone;
    if (equalNoCase(type, "cuboid")) {
        shape = ShapeCuboid;
        if (radius != 0) x = y = z = 2 * radius;
        if (z == 0) z = cellNumber(cell, "Length");
    } else if (equalNoCase(type, "cylinder")) {
        shape = ShapeCylinder;
        if (radius != 0) x = y = radius;
        if (z == 0) z = cellNumber(cell, "Length");
    } else if (equalNoCase(type, "spheroid")) {
        shape = ShapeSpheroid;
        if (radius != 0) x = y = z = radius;
    } else if (equalNoCase(type, "annulus")) {
        shape = ShapeAnnulus;
        if (radius == 0) radius = cellNumber(cell, "OuterRadius");
        x = y = radius;
        r = cellNumber(cell, "InnerRadius");
        if (z == 0) z = cellNumber(cell, "Length");
    } else if (equalNoCase(type, "toroid")) {
        shape = ShapeToroid;
        if (radius == 0) radius = cellNumber(cell, "MajorRadius");
        x = y = radius;
        r = cellNumber(cell, "MinorRadius");
        if (z == 0) z = r;
    }
    BlockageData& d = runDataInit<BlockageData>(cell);
    std::memcpy(d.axes, cell.placedFrame.axes, sizeof d.axes);
    d.origin[0] = cell.placedFrame.origin.x;
    d.origin[1] = cell.placedFrame.origin.y;
    d.origin[2] = cell.placedFrame.origin.z;
    d.sizeX = x;
    d.sizeY = y;
    d.sizeZ = z;
    d.r = r;
    d.absorptionLength =
        cellHas(cell, "AbsorptionLength") ? cellNumber(cell, "AbsorptionLength") : -1;
    d.shape = shape;
}

int material(const unsigned char* runData, double x, double y, double z, double) {
    const auto& d = runDataAs<BlockageData>(runData);
    return insideLocal(d, toLocal(d, Vec3{x, y, z}));
}

int intercept(unsigned char* runData, const Particle& before, const Particle& after, double t0,
              double t1, const StepContext& context, const ScatterData* table, Particle& hit,
              double& hitTime) {
    const auto& d = runDataAs<BlockageData>(runData);
    if (d.absorptionLength < 0 || d.shape == ShapeNone) return 0;
    Face faces[6];
    SurfaceTest tests[6];
    int count = facesOf(d, faces);
    for (int i = 0; i < count; i++) tests[i] = {faceDistance, &faces[i], onFace};
    // The step ends where the particle enters or leaves the shape, so that
    // absorption is only ever drawn for steps that lie wholly in or out.
    double best = 9e99;
    if (earliestCrossing(before, t0, after, t1, tests, count, table, context, hit, hitTime))
        best = hitTime;

    // Absorption is drawn for the part of the step that is taken.
    Vec3 end = best < 9e99 ? hit.position : after.position;
    Vec3 middle = 0.5 * (before.position + end);
    if (!insideLocal(d, toLocal(d, middle))) return best < 9e99;
    Particle drawn = after;
    double distance = -std::log(std::fmax(particleUniform(drawn), 1e-20)) * d.absorptionLength;
    double speed = speedFromProperSpeed(norm(before.u));
    double absorbed = speed > 0 ? t0 + distance / speed : 9e99;
    if (absorbed < best && absorbed <= t1) {
        hit = before;
        hit.drawCount = drawn.drawCount;
        matterStep(hit, t0, absorbed - t0, table, context);
        hit.state = StateStopped;
        hitTime = absorbed;
        return 1;
    }
    if (best < 9e99) {
        hit.drawCount = drawn.drawCount;
        return 1;
    }
    // Not absorbed in this step. The particle still carries the draw it used,
    // so that the next step inside draws afresh: the hit at the end of the
    // step is the particle as it arrives there.
    hit = drawn;
    hitTime = t1;
    return 1;
}

void bounds(const unsigned char* runData, Cell& cell) {
    const auto& d = runDataAs<BlockageData>(runData);
    double lo[3] = {0, 0, 0}, hi[3] = {d.sizeX, d.sizeY, d.sizeZ};
    switch (d.shape) {
        case ShapeCuboid:
            break;
        case ShapeCylinder:
        case ShapeAnnulus:
            lo[0] = -d.sizeX, lo[1] = -d.sizeY;
            break;
        case ShapeSpheroid:
            lo[0] = -d.sizeX, lo[1] = -d.sizeY, lo[2] = -d.sizeZ;
            break;
        case ShapeToroid: {
            double reach = std::fabs(d.sizeX) + std::fabs(d.r);
            lo[0] = lo[1] = -reach, hi[0] = hi[1] = reach;
            lo[2] = -std::fabs(d.r), hi[2] = std::fabs(d.r);
            break;
        }
        default:
            return;
    }
    for (int corner = 0; corner < 8; corner++) {
        Vec3 q{(corner & 1) ? hi[0] : lo[0], (corner & 2) ? hi[1] : lo[1],
               (corner & 4) ? hi[2] : lo[2]};
        cellBoxInclude(cell, toGlobal(d, q));
    }
}

}  // namespace

const CellTypeFunctions blockageFunctions{
    .fieldFn = nullptr,
    .interceptFn = intercept,
    .materialFn = material,
    .boundsFn = bounds,
    .initFn = init,
    .matterSplitsFn = splits,
};
