#include "display/beamline_view.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "beamline/cell_types.hpp"
#include "common/text.hpp"
#include "model/cell.hpp"
#include "model/cell_geometry.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Largest solenoid field of the beamline, so colours show relative strength.
struct Context {
    double maxField = 1;
};

Vec3 axisOf(const Frame3& f, int j) {
    return frameColumn(f, j);
}

Vec3 toGlobal(const Frame3& f, Vec3 local) {
    frameToGlobal(f, local);
    return local;
}

// A flat band beside an axis: from `inner` to `outer` across, from s0 to s1
// along, on both sides.
void fillBand(Scene& s, Vec3 start, Vec3 n, Vec3 across, double inner, double outer, double s0,
              double s1, Colour c) {
    for (int side = -1; side <= 1; side += 2) {
        Vec3 q[4] = {
            start + n * s0 + across * (side * inner), start + n * s1 + across * (side * inner),
            start + n * s1 + across * (side * outer), start + n * s0 + across * (side * outer)};
        sceneFill(s, q, 4, c);
    }
}

void drawSolenoid(Scene& s, const Cell& cell, const Context& ctx) {
    double a = cellNumber(cell, "radius"), len = cellNumber(cell, "length");
    if (a <= 0) a = 0.1;
    double outer = cellHas(cell, "outerradius") ? cellNumber(cell, "outerradius") : 5 * a;
    double field = cellNumber(cell, "field");
    Vec3 start = cell.placedFrame.origin, n = axisOf(cell.placedFrame, 2);
    Vec3 across = sceneAcross(s, n, axisOf(cell.placedFrame, 0));
    Colour base = field < 0 ? kSolenoidMinus : kSolenoidPlus;
    // A weak or unpowered coil is still a coil: it stays plainly visible
    // beside a capture solenoid many times stronger, on a large screen too.
    double strength = 0.5 + 0.5 * std::min(1.0, std::abs(field) / ctx.maxField);
    // The whole coil is drawn faintly, its bore face strongly: the bore is
    // what the beam sees.
    double face = std::min(outer - a, std::max(0.12 * a, 0.02));
    fillBand(s, start, n, across, a, outer, 0, len, dim(base, 0.16 + 0.16 * strength));
    fillBand(s, start, n, across, a, a + face, 0, len, dim(base, strength));
    for (int side = -1; side <= 1; side += 2) {
        sceneLine(s, start + across * (side * a), start + n * len + across * (side * a), base);
    }
}

// Points of an element's reference path, entry to exit, in steps.
int pathPoints(const Cell& cell, Vec3* out, int maxPoints) {
    double len = cellNumber(cell, "length"), angle = cellNumber(cell, "angle");
    int steps = std::abs(angle) > 1e-9 ? std::min(maxPoints - 1, 24) : 1;
    for (int k = 0; k <= steps; k++) {
        double f = static_cast<double>(k) / steps;
        Vec3 local{0, 0, len * f};
        if (std::abs(angle) > 1e-9) {
            double r = len / angle, th = angle * f;
            local = {-r * (1 - std::cos(th)), 0, r * std::sin(th)};
        }
        out[k] = toGlobal(cell.entryFrame, local);
    }
    return steps + 1;
}

// The field map's footprint: the square of valid table coordinates, turned
// by the magnet's angle about its origin. Footprints are large and overlap
// their neighbours, so they are drawn first, under everything else.
void drawBendFootprint(Scene& s, const Cell& cell) {
    const double* ax = cell.placedFrame.axes;
    double angle = std::atan2(ax[6], ax[8]) + kPi;
    if (!cell.name.empty() && cell.name[0] == '~') angle += kPi;
    double co = std::cos(angle), si = std::sin(angle);
    Vec3 o = cell.placedFrame.origin;
    const double corners[4][2] = {{-2.45, 0}, {-0.2, 2.25}, {2.05, 0}, {-0.2, -2.25}};
    Vec3 q[4];
    for (int i = 0; i < 4; i++) {
        double u = corners[i][0], w = corners[i][1];
        q[i] = o + Vec3{co * u - si * w, 0, si * u + co * w};
    }
    sceneFill(s, q, 4, dim(kBendColour, 0.09));
    for (int i = 0; i < 4; i++) sceneLine(s, q[i], q[(i + 1) % 4], dim(kBendColour, 0.3));
}

void drawBend(Scene& s, const Cell& cell, const Context&) {
    // The pole along the bent path, as wide as the magnet gap is high: one
    // polygon, the path offset to one side and back along the other.
    Vec3 path[25], outline[50];
    int n = pathPoints(cell, path, 25);
    for (int k = 0; k < n; k++) {
        Vec3 d = path[std::min(k + 1, n - 1)] - path[std::max(k - 1, 0)];
        if (norm(d) <= 0) return;
        Vec3 across = sceneAcross(s, d * (1 / norm(d)), axisOf(cell.entryFrame, 0));
        outline[k] = path[k] + across * 0.15;
        outline[2 * n - 1 - k] = path[k] + across * -0.15;
    }
    sceneFill(s, outline, 2 * n, dim(kBendColour, 0.8));
}

void drawRf(Scene& s, const Cell& cell, const Context&) {
    double extent = cellNumber(cell, "bore") + cellNumber(cell, "radius");
    if (extent == 0) extent = 0.3;
    Vec3 o = cell.placedFrame.origin, n = axisOf(cell.placedFrame, 2);
    Vec3 across = sceneAcross(s, n, axisOf(cell.placedFrame, 0));
    for (double gap : {-0.02, 0.02}) {
        sceneLine(s, o + n * gap + across * extent, o + n * gap + across * -extent, kRfColour);
    }
}

void drawAperture(Scene& s, const Cell& cell, const Context&) {
    const Frame3& f = cell.placedFrame;
    Vec3 o = f.origin, n = axisOf(f, 2), lx = axisOf(f, 0), ly = axisOf(f, 1);
    Vec3 across = sceneAcross(s, n, lx);
    Colour c = equalNoCase(cell.typeName, "finish-aperture") ? kFinishColour : kApertureColour;
    double thick = std::max(0.01, 3 * sceneMetresPerPixel(s, o));
    auto plate = [&](Vec3 dir, double from, double to) {
        Vec3 q[4] = {o + dir * from, o + dir * to, o + dir * to + n * thick,
                     o + dir * from + n * thick};
        sceneFill(s, q, 4, c);
    };
    if (equalNoCase(cell.typeName, "edge-aperture")) {
        double d = cellNumber(cell, "distance");
        Vec3 normal = lx * cellNumber(cell, "normalx") + ly * cellNumber(cell, "normaly");
        if (norm(normal) < 1e-9) return;
        normal = normal * (1 / norm(normal));
        Vec3 edge = cross(n, normal);
        sceneLine(s, o + normal * d + edge * 1.0, o + normal * d + edge * -1.0, c);
        return;
    }
    if (equalNoCase(cell.typeName, "rectangular-aperture")) {
        bool useX = std::abs(dot(across, lx)) >= std::abs(dot(across, ly));
        Vec3 dir = useX ? lx : ly;
        double lo = cellNumber(cell, useX ? "x1" : "y1"), hi = cellNumber(cell, useX ? "x2" : "y2");
        plate(dir, lo - 1, lo);
        plate(dir, hi, hi + 1);
        return;
    }
    double r = cellHas(cell, "radius") ? cellNumber(cell, "radius") : 1;
    plate(across, r, r + 1);
    plate(across, -r, -r - 1);
}

// The shape of a blockage: its Type attribute, else the part of its type
// text before the "-".
std::string blockageShape(const Cell& cell) {
    if (const std::string* t = cellText(cell, "type")) return lowerCopy(*t);
    size_t dash = cell.typeName.find('-');
    return dash == std::string::npos ? std::string() : lowerCopy(cell.typeName.substr(0, dash));
}

void drawRing(Scene& s, const Frame3& f, double r, double z, Colour c) {
    constexpr int kSegments = 32;
    for (int k = 0; k < kSegments; k++) {
        double a0 = 2 * kPi * k / kSegments, a1 = 2 * kPi * (k + 1) / kSegments;
        sceneLine(s, toGlobal(f, {r * std::cos(a0), r * std::sin(a0), z}),
                  toGlobal(f, {r * std::cos(a1), r * std::sin(a1), z}), c);
    }
}

void drawBlockage(Scene& s, const Cell& cell, const Context&) {
    const Frame3& f = cell.placedFrame;
    std::string shape = blockageShape(cell);
    double X = cellNumber(cell, "xsize"), Y = cellNumber(cell, "ysize"),
           Z = cellNumber(cell, "zsize");
    double r = cellNumber(cell, "radius");
    double len = cellNumber(cell, "length");
    Colour c = kBlockageColour;
    if (shape == "cuboid") {
        if (r != 0) X = Y = Z = 2 * r;
        if (Z == 0) Z = len;
        Vec3 v[8];
        for (int i = 0; i < 8; i++)
            v[i] = toGlobal(f, {i & 1 ? X : 0, i & 2 ? Y : 0, i & 4 ? Z : 0});
        const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                  {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        for (const auto& e : edges) sceneLine(s, v[e[0]], v[e[1]], c);
        Vec3 across = sceneAcross(s, axisOf(f, 2), axisOf(f, 0));
        bool useX = std::abs(dot(across, axisOf(f, 0))) >= std::abs(dot(across, axisOf(f, 1)));
        Vec3 q[4] = {v[0], v[useX ? 1 : 2], v[useX ? 5 : 6], v[4]};
        sceneFill(s, q, 4, dim(c, 0.6));
        return;
    }
    double outer = r, inner = 0;
    if (shape == "annulus") {
        outer = r != 0 ? r : cellNumber(cell, "outerradius");
        inner = cellNumber(cell, "innerradius");
    } else if (shape == "toroid") {
        outer = r != 0 ? r : cellNumber(cell, "majorradius");
        inner = cellNumber(cell, "minorradius");
        drawRing(s, f, outer - inner, 0, c);
        drawRing(s, f, outer + inner, 0, c);
        return;
    } else if (shape == "spheroid") {
        double rz = r != 0 ? r : Z;
        for (double z : {-0.7 * rz, 0.0, 0.7 * rz}) {
            drawRing(s, f, (r != 0 ? r : X) * std::sqrt(1 - (z / rz) * (z / rz)), z, c);
        }
        return;
    } else if (shape != "cylinder") {
        return;  // a shape the tracking does not know holds nothing
    }
    if (Z == 0) Z = len;
    Vec3 n = axisOf(f, 2), across = sceneAcross(s, n, axisOf(f, 0));
    fillBand(s, f.origin, n, across, inner, outer, 0, Z, dim(c, 0.6));
    drawRing(s, f, outer, 0, c);
    drawRing(s, f, outer, Z, c);
}

void drawRod(Scene& s, const Cell& cell, const Context&) {
    constexpr double kRadius = 0.01, kLength = 0.2;
    double z = cellNumber(cell, "z"), angle = cellNumber(cell, "rodangle");
    Vec3 centre{0, 0, z}, d{std::sin(angle), 0, std::cos(angle)};
    Vec3 across = sceneAcross(s, d, {std::cos(angle), 0, -std::sin(angle)});
    double r = std::max(kRadius, 1.5 * sceneMetresPerPixel(s, centre));
    Vec3 a = centre + d * (-0.5 * kLength), b = centre + d * (0.5 * kLength);
    Vec3 q[4] = {a + across * r, b + across * r, b + across * -r, a + across * -r};
    sceneFill(s, q, 4, kTargetColour);
}

void drawBore(Scene& s, const Cell& cell) {
    double bore = cellNumber(cell, "bore");
    if (bore <= 0) return;
    Vec3 path[25];
    int n = pathPoints(cell, path, 25);
    for (int k = 0; k + 1 < n; k++) {
        Vec3 d = path[k + 1] - path[k];
        if (norm(d) <= 0) continue;
        Vec3 across = sceneAcross(s, d * (1 / norm(d)), axisOf(cell.entryFrame, 0));
        for (int side = -1; side <= 1; side += 2) {
            sceneLine(s, path[k] + across * (side * bore), path[k + 1] + across * (side * bore),
                      rgb(90, 90, 100));
        }
    }
}

void drawBox(Scene& s, const Cell& cell, Colour c) {
    if (cellBoxEmpty(cell)) return;
    Vec3 lo = cell.boxMin, hi = cell.boxMax, v[8];
    for (int i = 0; i < 8; i++)
        v[i] = {i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z};
    const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                              {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& e : edges) sceneLine(s, v[e[0]], v[e[1]], c);
}

// The middle of an element's path on the screen.
bool labelAnchor(const Scene& s, const Cell& cell, double& x, double& y) {
    Vec3 path[25];
    int n = pathPoints(cell, path, 25);
    return sceneProject(s, path[n / 2], x, y) && std::isfinite(x) && std::isfinite(y) &&
           std::abs(x) < 1e6 && std::abs(y) < 1e6;
}

bool overlaps(const PlacedLabel& a, const PlacedLabel& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

// Tries the places beside the anchor, nearest first: below the element,
// above it, then a row further out on either side. false when every place
// is taken or outside the panel.
bool placeLabel(const Scene& s, const Cell& cell, const std::vector<PlacedLabel>& placed,
                PlacedLabel& out) {
    double ax, ay;
    if (!labelAnchor(s, cell, ax, ay)) return false;
    // The box is the dark patch drawn under the text, so lines do not cross it.
    int w = textWidth(cell.name) + 4, h = textHeight() + 2;
    int x = static_cast<int>(ax) - w / 2;
    constexpr int kNear = 16, kRows = 3;
    for (int k = 0; k < 2 * kRows; k++) {
        int row = k / 2;
        int y = k % 2 == 0 ? static_cast<int>(ay) + kNear + row * (h + 1)
                           : static_cast<int>(ay) - kNear - h - row * (h + 1);
        PlacedLabel label{&cell, x, y, w, h};
        if (x < s.x || y < s.y || x + w > s.x + s.w || y + h > s.y + s.h) continue;
        bool free = std::none_of(placed.begin(), placed.end(),
                                 [&](const PlacedLabel& p) { return overlaps(p, label); });
        if (free) {
            out = label;
            return true;
        }
    }
    return false;
}

void drawLabel(Scene& s, const PlacedLabel& label, Colour colour) {
    fillRect(*s.canvas, label.x, label.y, label.w, label.h, rgb(10, 10, 18));
    drawText(*s.canvas, label.x + 2, label.y + 1, label.cell->name, colour);
}

// One row per draw kind of the cell type table, in its order: the picture,
// and the show bit that hides it (0: always shown).
struct KindDrawer {
    DrawKind kind;
    uint16_t showBit;
    void (*draw)(Scene& s, const Cell& cell, const Context& ctx);
};

// clang-format off
constexpr KindDrawer kDrawers[] = {
    {DrawNothing,    0,             nullptr},           // nothing but the path and name
    {DrawRodSource,  0,             drawRod},       // target rod
    {DrawBlockage,   0,             drawBlockage},  // solid outline
    {DrawSolenoid,   ShowSolenoids, drawSolenoid},  // coil
    {DrawBendMagnet, ShowBends,     drawBend},      // pole; footprints come first
    {DrawAperture,   ShowApertures, drawAperture},  // plates
    {DrawRfCavity,   0,             drawRf},        // gap
};
// clang-format on

constexpr bool drawersInKindOrder() {
    for (int k = 0; k < kDrawKindCount; k++) {
        if (kDrawers[k].kind != k || (k != DrawNothing && !kDrawers[k].draw)) return false;
    }
    return true;
}
static_assert(std::size(kDrawers) == kDrawKindCount && drawersInKindOrder(),
              "one drawer per draw kind, in DrawKind order");

void drawElement(Scene& s, const Cell& cell, const ViewSettings& view, const Context& ctx) {
    int cells = showField(view.showMask, kCellsShift);
    if (cell.drawKind < kDrawKindCount) {
        const KindDrawer& d = kDrawers[cell.drawKind];
        if (d.draw && (d.showBit == 0 || (view.showMask & d.showBit))) d.draw(s, cell, ctx);
    }
    if (cells >= 1) drawBore(s, cell);
    if (cells >= 1) {
        Vec3 path[25];
        int n = pathPoints(cell, path, 25);
        for (int k = 0; k + 1 < n; k++) sceneLine(s, path[k], path[k + 1], rgb(70, 70, 80));
    }
    if (cells >= 2) {
        Vec3 o = cell.entryFrame.origin,
             across = sceneAcross(s, axisOf(cell.entryFrame, 2), {1, 0, 0});
        sceneLine(s, o + across * 0.05, o + across * -0.05, rgb(120, 120, 130));
    }
}

}  // namespace

void Extent::include(Vec3 p) {
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

bool Extent::contains(Vec3 p) const {
    return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z &&
           p.z <= max.z;
}

std::vector<Extent> elementExtents(const Cell& root) {
    std::vector<Extent> extents;
    forEachElement(root, [&](const Cell& cell) {
        Vec3 path[25];
        int n = pathPoints(cell, path, 25);
        // Elements without a radius or bore (bends, the target) get the
        // width of a bend's pole as drawn.
        double r = std::max({cellNumber(cell, "radius"), cellNumber(cell, "bore"), 0.15});
        r = std::min(r, 2.0);
        Extent e;
        for (int k = 0; k < n; k++) {
            e.include(path[k] + Vec3{r, r, 0});
            e.include(path[k] - Vec3{r, r, 0});
        }
        extents.push_back(e);
    });
    return extents;
}

Extent beamlineExtent(const Cell& root) {
    Extent whole;
    for (const Extent& e : elementExtents(root)) {
        whole.include(e.min);
        whole.include(e.max);
    }
    return whole;
}

void drawBeamline(Scene& s, const Cell& root, const ViewSettings& view, const Cell* highlight) {
    Context ctx;
    forEachElement(root, [&](const Cell& cell) {
        if (cell.drawKind == DrawSolenoid) {
            ctx.maxField = std::max(ctx.maxField, std::abs(cellNumber(cell, "field")));
        }
    });
    if (view.showMask & ShowBends) {
        forEachElement(root, [&](const Cell& cell) {
            if (cell.drawKind == DrawBendMagnet) drawBendFootprint(s, cell);
        });
    }
    forEachElement(root, [&](const Cell& cell) { drawElement(s, cell, view, ctx); });
    if (view.showMask & ShowBoxes) {
        forEachElement(root, [&](const Cell& cell) { drawBox(s, cell, rgb(90, 160, 90)); });
    }
    if (highlight) {
        drawBox(s, *highlight, rgb(255, 255, 255));
        Vec3 path[25];
        int n = highlight->kind == Machine ? pathPoints(*highlight, path, 25) : 0;
        for (int k = 0; k + 1 < n; k++) sceneLine(s, path[k], path[k + 1], rgb(255, 255, 255));
    }
    for (const PlacedLabel& label : placeLabels(s, root, view, highlight)) {
        drawLabel(s, label, label.cell == highlight ? rgb(255, 255, 255) : rgb(170, 170, 180));
    }
}

std::vector<PlacedLabel> placeLabels(const Scene& s, const Cell& root, const ViewSettings& view,
                                     const Cell* highlight) {
    std::vector<PlacedLabel> placed;
    if (s.mono || s.canvas == nullptr) return placed;
    PlacedLabel label;
    // The element the user is looking for is named first, so it always has
    // a place; then the others in beamline order, as far as there is room.
    if (highlight && highlight->kind == Machine && placeLabel(s, *highlight, placed, label)) {
        placed.push_back(label);
    }
    if (showField(view.showMask, kCellsShift) < 2 && !view.showD) return placed;
    forEachElement(root, [&](const Cell& cell) {
        if (&cell == highlight || cell.name.empty()) return;
        if (placeLabel(s, cell, placed, label)) placed.push_back(label);
    });
    return placed;
}
