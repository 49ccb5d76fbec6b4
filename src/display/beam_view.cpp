#include "display/beam_view.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/text.hpp"
#include "display/beamline_view.hpp"
#include "display/bulk.hpp"

namespace {

constexpr double kC = 299792458.0;

double component(Vec3 v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

Colour energyRamp(double f) {
    // Blue (slow) through cyan, green and yellow to red (fast).
    static const Colour stops[] = {rgb(40, 60, 255), rgb(0, 220, 255), rgb(40, 255, 80),
                                   rgb(255, 240, 0), rgb(255, 40, 30)};
    f = std::clamp(f, 0.0, 1.0) * 4;
    int i = std::min(3, static_cast<int>(f));
    return mix(stops[i], stops[i + 1], f - i);
}

Colour speciesColour(int32_t species) {
    switch (species) {
        case 0:
            return rgb(255, 200, 40);  // pi+
        case 1:
            return rgb(255, 60, 150);  // mu+
        case 2:
            return rgb(60, 230, 230);  // pi-
        case 3:
            return rgb(140, 110, 255);  // mu-
        case 4:
            return rgb(255, 255, 255);  // p
        case 8:
            return rgb(255, 120, 220);  // e+
        case 9:
            return rgb(120, 255, 120);  // e-
        default:
            return rgb(160, 160, 160);
    }
}

Colour chargeColour(int32_t charge) {
    return charge > 0 ? rgb(255, 80, 60) : charge < 0 ? rgb(70, 140, 255) : rgb(170, 170, 170);
}

std::string speciesLabel(const DisplayFrame& frame, int32_t species) {
    const char* name = frame.speciesName ? frame.speciesName(species) : nullptr;
    return name ? std::string(name) : format("species %d", species);
}

}  // namespace

double energyScaleMeV(const DisplayFrame& frame) {
    double top = 0;
    for (const DisplayParticle& p : frame.particles) {
        if (p.state == 0 && std::isfinite(p.kineticMeV)) top = std::max(top, p.kineticMeV);
    }
    if (top <= 0) return 100;
    double decade = std::pow(10.0, std::floor(std::log10(top)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (top <= m * decade) return m * decade;
    }
    return 10 * decade;
}

Colour particleColour(const DisplayParticle& p, int colourMode, double scaleMeV) {
    switch (colourMode) {
        case ColourBySpecies:
            return speciesColour(p.species);
        case ColourByCharge:
            return chargeColour(p.charge);
        default:
            return energyRamp(p.kineticMeV / scaleMeV);
    }
}

bool particleShown(const DisplayParticle& p, const ViewSettings& view) {
    if (isMuon(p.species) && !(view.showMask & ShowMuons)) return false;
    if (isPion(p.species) && !(view.showMask & ShowPions)) return false;
    if (p.state == 0) return true;
    return showField(view.showMask, kLostShift) > 0;
}

std::vector<const DisplayParticle*> guidedParticles(const DisplayFrame& frame,
                                                    const ViewSettings& view) {
    std::vector<const DisplayParticle*> shown, inside;
    for (const DisplayParticle& p : frame.particles) {
        if (p.state == 0 && particleShown(p, view) && std::isfinite(norm2(p.position)) &&
            std::isfinite(norm2(p.u)))
            shown.push_back(&p);
    }
    if (!frame.root) return shown;
    std::vector<Extent> channel = elementExtents(*frame.root);
    for (const DisplayParticle* p : shown) {
        bool in = std::any_of(channel.begin(), channel.end(),
                              [&](const Extent& e) { return e.contains(p->position); });
        if (in) inside.push_back(p);
    }
    return inside.empty() ? shown : inside;
}

void drawParticles(Scene& s, const DisplayFrame& frame, const ViewSettings& view, double scaleMeV) {
    int lost = showField(view.showMask, kLostShift);
    int mode = colourMode(view);
    int radius = view.bigParticles ? 2 : 0;
    // Lost particles first, so the live beam is drawn over them.
    for (int pass = 0; pass < 2; pass++) {
        for (const DisplayParticle& p : frame.particles) {
            if ((p.state == 0) != (pass == 1) || !particleShown(p, view)) continue;
            Colour c = particleColour(p, mode, scaleMeV);
            if (p.state != 0) {
                // 1: where particles ended, in grey (finished ones green); 2: in their colours.
                if (lost == 1) c = p.state == -1 ? kFinishedColour : kLostColour;
                if (lost >= 2) c = dim(c, kLostDimming);
            }
            scenePoint(s, p.position, c, radius);
        }
    }
}

std::vector<LegendItem> legendItems(const DisplayFrame& frame, const ViewSettings& view) {
    std::vector<LegendItem> items;
    int mode = colourMode(view);
    if (mode == ColourBySpecies) {
        std::vector<int32_t> seen;
        for (const DisplayParticle& p : frame.particles) {
            if (std::find(seen.begin(), seen.end(), p.species) == seen.end() && seen.size() < 8) {
                seen.push_back(p.species);
            }
        }
        std::sort(seen.begin(), seen.end());
        for (int32_t sp : seen) items.push_back({speciesColour(sp), speciesLabel(frame, sp)});
    } else if (mode == ColourByCharge) {
        items = {{chargeColour(1), "positive"},
                 {chargeColour(-1), "negative"},
                 {chargeColour(0), "neutral"}};
    }
    // The particles that are no longer tracked, as drawParticles shows them.
    int lost = showField(view.showMask, kLostShift);
    if (lost == 1) {
        items.push_back({kLostColour, "lost particle"});
        items.push_back({kFinishedColour, "reached the end"});
    } else if (lost >= 2) {
        items.push_back({dim(rgb(200, 200, 200), kLostDimming), "lost (dimmed)"});
    }
    items.push_back({kSolenoidPlus, "solenoid B>0"});
    items.push_back({kSolenoidMinus, "solenoid B<0"});
    items.push_back({kBendColour, "bending magnet"});
    items.push_back({kRfColour, "RF cavity"});
    items.push_back({kApertureColour, "aperture"});
    items.push_back({kTargetColour, "target"});
    return items;
}

void drawLegend(Canvas& c, int x1, int y0, const DisplayFrame& frame, const ViewSettings& view,
                double scaleMeV, int textScale) {
    std::vector<LegendItem> items = legendItems(frame, view);
    int mode = colourMode(view);

    int lh = textHeight(textScale), pad = 6 * textScale;
    const std::string title = "Legend: [F11 to hide]";
    int w = textWidth(title, textScale);
    for (const LegendItem& item : items) {
        w = std::max(w, 10 * textScale + textWidth(item.text, textScale));
    }
    w += 2 * pad;
    int rampRows = mode == ColourByEnergy ? 2 : 0;
    int h = pad * 2 + lh * (1 + rampRows + static_cast<int>(items.size()));
    int x = x1 - w - 8, y = y0 + 8;
    fillRect(c, x, y, w, h, rgb(16, 16, 24));
    drawRect(c, x, y, w, h, rgb(80, 80, 100));
    int ty = y + pad;
    drawText(c, x + pad, ty, title, rgb(220, 220, 220), textScale);
    ty += lh;
    if (mode == ColourByEnergy) {
        int bw = w - 2 * pad;
        for (int i = 0; i < bw; i++) {
            fillRect(c, x + pad + i, ty, 1, lh - 3 * textScale,
                     energyRamp(static_cast<double>(i) / (bw - 1)));
        }
        ty += lh;
        drawText(c, x + pad, ty, "0", rgb(200, 200, 200), textScale);
        std::string top = format("%g MeV", scaleMeV);
        drawText(c, x + w - pad - textWidth(top, textScale), ty, top, rgb(200, 200, 200),
                 textScale);
        ty += lh;
    }
    for (const LegendItem& item : items) {
        fillRect(c, x + pad, ty + textScale, 7 * textScale, 5 * textScale, item.colour);
        drawText(c, x + pad + 10 * textScale, ty, item.text, rgb(200, 200, 200), textScale);
        ty += lh;
    }
}

namespace {

struct PlotPoint {
    double a, b;
    Colour c;
};

PlotWindow plotWindowOf(const std::vector<PlotPoint>& pts) {
    // Symmetric ranges around the centre of the bulk of the cloud: a few
    // strays (a particle flying nearly across the axis has a huge angle)
    // must not squeeze the rest into a dot.
    std::vector<double> as, bs;
    for (const PlotPoint& p : pts) as.push_back(p.a), bs.push_back(p.b);
    BulkSpan sa = bulkSpan(as), sb = bulkSpan(bs);
    PlotWindow w;
    if (!sa.valid || !sb.valid) return w;
    w.centreA = sa.centre(), w.centreB = sb.centre();
    // A tenth more than the bulk, so its edge is not drawn on the frame.
    w.halfA = std::max(0.55 * sa.width(), 1e-12);
    w.halfB = std::max(0.55 * sb.width(), 1e-12);
    w.points = static_cast<int>(pts.size());
    return w;
}

void drawPlot(Canvas& c, int x, int y, int w, int h, const char* title, const char* xUnit,
              const char* yUnit, const std::vector<PlotPoint>& pts) {
    fillRect(c, x, y, w, h, rgb(12, 12, 18));
    drawRect(c, x, y, w, h, rgb(80, 80, 100));
    drawText(c, x + 4, y + 3, title, rgb(210, 210, 210));
    PlotWindow win = plotWindowOf(pts);
    if (win.points == 0) return;
    int px = x + 4, py = y + 14, pw = w - 8, ph = h - 28;
    drawLine(c, px, py + ph / 2, px + pw, py + ph / 2, rgb(45, 45, 60));
    drawLine(c, px + pw / 2, py, px + pw / 2, py + ph, rgb(45, 45, 60));
    canvasClip(c, px, py, pw, ph);
    for (const PlotPoint& p : pts) {
        double sx = px + (p.a - win.centreA) / win.halfA * pw / 2 + pw / 2.0;
        double sy = py + ph / 2.0 - (p.b - win.centreB) / win.halfB * ph / 2;
        if (sx < px || sx >= px + pw || sy < py || sy >= py + ph) continue;
        plot(c, static_cast<int>(sx), static_cast<int>(sy), p.c);
    }
    canvasNoClip(c);
    drawText(c, x + 4, y + h - 11,
             format("+-%.3g %s, +-%.3g %s", win.halfA, xUnit, win.halfB, yUnit),
             rgb(150, 150, 160));
}

// The points of the three plots (x-x', y-y', E-t) in cm, mrad, ns and MeV.
// Coordinates are taken across the beam's direction of flight, so that the
// plots mean the same in a bend as on a straight line; the particles are the
// guided ones, the centre is their median position and the direction that
// of their bulk, so that strays move neither.
std::array<std::vector<PlotPoint>, 3> phaseSpacePoints(const DisplayFrame& frame,
                                                       const ViewSettings& view, double scaleMeV) {
    std::array<std::vector<PlotPoint>, 3> plots;
    std::vector<const DisplayParticle*> shown = guidedParticles(frame, view);
    BulkSpan bulk[3], middle[3];
    std::vector<double> values;
    for (int axis = 0; axis < 3; axis++) {
        values.clear();
        for (const DisplayParticle* p : shown) values.push_back(component(p->position, axis));
        bulk[axis] = bulkSpan(values);
        middle[axis] = bulkSpan(values, 0);
    }
    Vec3 centre{middle[0].lo, middle[1].lo, middle[2].lo}, dir{};
    for (const DisplayParticle* p : shown) {
        bool inBulk = true;
        for (int axis = 0; axis < 3; axis++) {
            double v = component(p->position, axis);
            inBulk = inBulk && v >= bulk[axis].lo && v <= bulk[axis].hi;
        }
        if (inBulk) dir = dir + p->u;
    }
    if (shown.empty() || !(norm(dir) > 0)) return plots;
    Vec3 ez = dir * (1 / norm(dir));
    Vec3 ey{0, 1, 0};
    ey = ey - ez * dot(ey, ez);
    if (norm(ey) < 1e-9) ey = {1, 0, 0};
    ey = ey * (1 / norm(ey));
    Vec3 ex = cross(ey, ez);
    int mode = colourMode(view);
    for (const DisplayParticle* shownParticle : shown) {
        const DisplayParticle& p = *shownParticle;
        Vec3 d = p.position - centre;
        double uz = dot(p.u, ez);
        if (uz <= 0) continue;
        Colour col = particleColour(p, mode, scaleMeV);
        plots[0].push_back({dot(d, ex) * 100, dot(p.u, ex) / uz * 1000, col});
        plots[1].push_back({dot(d, ey) * 100, dot(p.u, ey) / uz * 1000, col});
        double gamma = std::sqrt(1 + norm2(p.u) / (kC * kC));
        double v = uz / gamma;
        plots[2].push_back({-dot(d, ez) / v * 1e9, p.kineticMeV, col});
    }
    return plots;
}

}  // namespace

std::array<PlotWindow, 3> phaseSpaceWindows(const DisplayFrame& frame, const ViewSettings& view) {
    std::array<std::vector<PlotPoint>, 3> plots = phaseSpacePoints(frame, view, 1);
    return {plotWindowOf(plots[0]), plotWindowOf(plots[1]), plotWindowOf(plots[2])};
}

void drawPhaseSpace(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                    const ViewSettings& view, double scaleMeV) {
    std::array<std::vector<PlotPoint>, 3> plots = phaseSpacePoints(frame, view, scaleMeV);
    int pw = w / 3;
    drawPlot(c, x, y, pw - 4, h, "x - x'", "cm", "mrad", plots[0]);
    drawPlot(c, x + pw, y, pw - 4, h, "y - y'", "cm", "mrad", plots[1]);
    drawPlot(c, x + 2 * pw, y, pw - 4, h, "E - t", "ns", "MeV", plots[2]);
}
