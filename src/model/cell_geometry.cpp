#include "model/cell_geometry.hpp"

#include <cmath>

Vec3 frameColumn(const Frame3& frame, int j) {
    return {frame.axes[j], frame.axes[3 + j], frame.axes[6 + j]};
}

void setFrameColumn(Frame3& frame, int j, Vec3 v) {
    frame.axes[j] = v.x;
    frame.axes[3 + j] = v.y;
    frame.axes[6 + j] = v.z;
}

double sinc(double x) {
    if (x > -1e-9 && x < 1e-9) return 1.0;
    return std::sin(x) / x;
}

namespace {

// Rounding creeps into the axes a little with every element; a long beamline
// of bends would otherwise end up with skewed, stretched axes. One symmetric
// Gram-Schmidt step per element keeps them orthonormal.
void reorthonormalise(Frame3& frame) {
    Vec3 a = frameColumn(frame, 0), b = frameColumn(frame, 1), c = frameColumn(frame, 2);
    double pab = 0.5 * dot(a, b), pac = 0.5 * dot(a, c), pbc = 0.5 * dot(b, c);
    Vec3 a2 = a - (pab * b + pac * c);
    Vec3 b2 = b - (pab * a + pbc * c);
    Vec3 c2 = c - (pac * a + pbc * b);
    setFrameColumn(frame, 0, a2 * (1.0 / norm(a2)));
    setFrameColumn(frame, 1, b2 * (1.0 / norm(b2)));
    setFrameColumn(frame, 2, c2 * (1.0 / norm(c2)));
}

}  // namespace

Frame3 advanceElement(const Cell& cell, const Frame3& frame) {
    double angle = cellNumber(cell, "angle");
    double length = cellNumber(cell, "length");
    double twist = cellNumber(cell, "twist");
    double h = angle / 2;
    double chord = length * sinc(h);
    double ct = std::cos(twist), st = std::sin(twist);

    Frame3 next = frame;
    Vec3 d{-chord * std::sin(h) * ct, -chord * std::sin(h) * st, chord * std::cos(h)};
    frameToGlobal(frame, d);
    next.origin = d;

    Vec3 x = frameColumn(frame, 0), y = frameColumn(frame, 1), z = frameColumn(frame, 2);
    Vec3 xt = ct * x + st * y;
    Vec3 yt = ct * y - st * x;
    double ca = std::cos(angle), sa = std::sin(angle);
    setFrameColumn(next, 0, ca * xt + sa * z);
    setFrameColumn(next, 1, yt);
    setFrameColumn(next, 2, ca * z - sa * xt);
    reorthonormalise(next);
    return next;
}

Frame3 cellAdvance(const Cell& cell, const Frame3& frame) {
    if (cell.kind == Machine) return advanceElement(cell, frame);
    if (cell.kind != Composite) return frame;
    Frame3 running = frame;
    for (const CellPtr& child : cell.children) {
        if (child) running = cellAdvance(*child, running);
    }
    return running;
}

namespace {

// (u, v) := (cos a u + sin a v, -sin a u + cos a v) on two axis columns.
void rotatePair(Frame3& frame, int ju, int jv, double a) {
    Vec3 u = frameColumn(frame, ju), v = frameColumn(frame, jv);
    double c = std::cos(a), s = std::sin(a);
    setFrameColumn(frame, ju, c * u + s * v);
    setFrameColumn(frame, jv, c * v - s * u);
}

}  // namespace

Frame3 applyTransforms(const Cell& cell, const Frame3& entry) {
    Frame3 placed = entry;
    if (cell.kind != Machine) return placed;
    static const char* const flips[3] = {"Xflip", "Yflip", "Zflip"};
    for (int j = 0; j < 3; j++) {
        if (cellNumber(cell, flips[j]) != 0)
            setFrameColumn(placed, j, -1.0 * frameColumn(placed, j));
    }
    if (double a = cellNumber(cell, "rotXY"); a != 0) rotatePair(placed, 0, 1, a);
    if (double a = cellNumber(cell, "rotYZ"); a != 0) rotatePair(placed, 1, 2, a);
    if (double a = cellNumber(cell, "rotZX"); a != 0) rotatePair(placed, 2, 0, a);

    // The element's own point (Xhere, Yhere, Zhere) lands at entry + (X, Y, Z).
    Vec3 anchor{cellNumber(cell, "Xhere"), cellNumber(cell, "Yhere"), cellNumber(cell, "Zhere")};
    frameRotate(placed, anchor);
    Vec3 offset{cellNumber(cell, "X"), cellNumber(cell, "Y"), cellNumber(cell, "Z")};
    placed.origin = placed.origin + offset - anchor;
    return placed;
}

Frame3 cellPlaceTree(Cell& cell, Frame3 frame, double& arc, const PlaceHook& hook) {
    cell.entryFrame = frame;
    cell.arcStart = arc;
    cell.placedFrame = applyTransforms(cell, frame);
    if (cell.kind == Composite) {
        for (const CellPtr& child : cell.children) {
            if (child) frame = cellPlaceTree(*child, frame, arc, hook);
        }
    } else if (cell.kind == Machine) {
        if (hook) hook(cell);
        frame = advanceElement(cell, frame);
        arc += cellNumber(cell, "length");
    }
    return frame;
}

void cellBoxReset(Cell& cell) {
    cell.boxMin = {1e20, 1e20, 1e20};
    cell.boxMax = {-1e20, -1e20, -1e20};
}

bool cellBoxEmpty(const Cell& cell) {
    return cell.boxMin.x > cell.boxMax.x;
}

void cellBoxInclude(Cell& cell, Vec3 p) {
    cell.boxMin = {std::fmin(cell.boxMin.x, p.x), std::fmin(cell.boxMin.y, p.y),
                   std::fmin(cell.boxMin.z, p.z)};
    cell.boxMax = {std::fmax(cell.boxMax.x, p.x), std::fmax(cell.boxMax.y, p.y),
                   std::fmax(cell.boxMax.z, p.z)};
}

void cellBoxGrow(Cell& cell, double d) {
    if (cellBoxEmpty(cell)) return;
    cell.boxMin = cell.boxMin - Vec3{d, d, d};
    cell.boxMax = cell.boxMax + Vec3{d, d, d};
}

void cellBoxScale(Cell& cell, double factor) {
    Vec3 centre = 0.5 * (cell.boxMin + cell.boxMax);
    Vec3 half = (0.5 * factor) * (cell.boxMax - cell.boxMin);
    cell.boxMin = centre - half;
    cell.boxMax = centre + half;
}

void cellBoxSet(Cell& cell, double x0, double y0, double z0, double x1, double y1, double z1) {
    cell.boxMin = {x0, y0, z0};
    cell.boxMax = {x1, y1, z1};
}

bool cellBoxContains(const Cell& cell, Vec3 p) {
    return p.x >= cell.boxMin.x && p.x <= cell.boxMax.x && p.y >= cell.boxMin.y &&
           p.y <= cell.boxMax.y && p.z >= cell.boxMin.z && p.z <= cell.boxMax.z;
}

void arcPosition(const Cell& element, Vec3 p, double& s, double& r) {
    double angle = cellNumber(element, "angle");
    double length = angle == 0 ? 0 : cellNumber(element, "length");
    arcPositionIn(element.entryFrame, length, angle, p, s, r);
}

void arcPositionIn(const Frame3& entry, double length, double angle, Vec3 p, double& s, double& r) {
    frameToLocal(entry, p);
    if (angle == 0) {
        s = p.z;
        r = std::sqrt(p.x * p.x + p.y * p.y);
        return;
    }
    // Bends curve towards -x about a centre at x = -R in the entry frame.
    double radius = length / angle;
    double xr = p.x + radius;
    s = radius > 0 ? radius * std::atan2(p.z, xr) : -radius * std::atan2(p.z, -xr);
    double off = std::sqrt(xr * xr + p.z * p.z) - std::fabs(radius);
    r = std::sqrt(off * off + p.y * p.y);
}
