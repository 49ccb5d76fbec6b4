#include "display/beam_view.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/text.hpp"
#include "display/beamline_view.hpp"

namespace {

constexpr double kC = 299792458.0;

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
                if (lost == 1) c = p.state == -1 ? rgb(40, 140, 60) : rgb(90, 90, 90);
                if (lost >= 2) c = dim(c, 0.5);
            }
            scenePoint(s, p.position, c, radius);
        }
    }
}

void drawLegend(Canvas& c, int x1, int y0, const DisplayFrame& frame, const ViewSettings& view,
                double scaleMeV, int textScale) {
    struct Item {
        Colour colour;
        std::string text;
    };
    std::vector<Item> items;
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
    items.push_back({kSolenoidPlus, "solenoid B>0"});
    items.push_back({kSolenoidMinus, "solenoid B<0"});
    items.push_back({kBendColour, "bending magnet"});
    items.push_back({kRfColour, "RF cavity"});
    items.push_back({kApertureColour, "aperture"});
    items.push_back({kTargetColour, "target"});

    int lh = textHeight(textScale), pad = 6 * textScale;
    const std::string title = "Legend: [F11 to hide]";
    int w = textWidth(title, textScale) + 2 * pad;
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
    for (const Item& item : items) {
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

void drawPlot(Canvas& c, int x, int y, int w, int h, const char* title, const char* xUnit,
              const char* yUnit, const std::vector<PlotPoint>& pts) {
    fillRect(c, x, y, w, h, rgb(12, 12, 18));
    drawRect(c, x, y, w, h, rgb(80, 80, 100));
    drawText(c, x + 4, y + 3, title, rgb(210, 210, 210));
    if (pts.empty()) return;
    // Symmetric ranges around the centre of the cloud, wide enough for nearly all of it.
    double ma = 0, mb = 0;
    for (const PlotPoint& p : pts) ma += p.a, mb += p.b;
    ma /= pts.size(), mb /= pts.size();
    std::vector<double> da, db;
    for (const PlotPoint& p : pts)
        da.push_back(std::abs(p.a - ma)), db.push_back(std::abs(p.b - mb));
    size_t k = std::min(da.size() - 1, da.size() * 98 / 100);
    std::nth_element(da.begin(), da.begin() + k, da.end());
    std::nth_element(db.begin(), db.begin() + k, db.end());
    double ra = std::max(da[k] * 1.1, 1e-12), rb = std::max(db[k] * 1.1, 1e-12);
    int px = x + 4, py = y + 14, pw = w - 8, ph = h - 28;
    drawLine(c, px, py + ph / 2, px + pw, py + ph / 2, rgb(45, 45, 60));
    drawLine(c, px + pw / 2, py, px + pw / 2, py + ph, rgb(45, 45, 60));
    canvasClip(c, px, py, pw, ph);
    for (const PlotPoint& p : pts) {
        int sx = px + static_cast<int>((p.a - ma) / ra * pw / 2 + pw / 2);
        int sy = py + static_cast<int>(ph / 2 - (p.b - mb) / rb * ph / 2);
        plot(c, sx, sy, p.c);
    }
    canvasNoClip(c);
    drawText(c, x + 4, y + h - 11, format("+-%.3g %s, +-%.3g %s", ra, xUnit, rb, yUnit),
             rgb(150, 150, 160));
}

}  // namespace

void drawPhaseSpace(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                    const ViewSettings& view, double scaleMeV) {
    // Coordinates across the beam's mean direction of flight, so that the
    // plots mean the same in a bend as on a straight line.
    Vec3 mean{}, dir{};
    int n = 0;
    for (const DisplayParticle& p : frame.particles) {
        if (p.state != 0 || !particleShown(p, view)) continue;
        mean = mean + p.position, dir = dir + p.u, n++;
    }
    std::vector<PlotPoint> xx, yy, et;
    if (n > 0 && norm(dir) > 0) {
        mean = mean * (1.0 / n);
        Vec3 ez = dir * (1 / norm(dir));
        Vec3 ey{0, 1, 0};
        ey = ey - ez * dot(ey, ez);
        if (norm(ey) < 1e-9) ey = {1, 0, 0};
        ey = ey * (1 / norm(ey));
        Vec3 ex = cross(ey, ez);
        int mode = colourMode(view);
        for (const DisplayParticle& p : frame.particles) {
            if (p.state != 0 || !particleShown(p, view)) continue;
            Vec3 d = p.position - mean;
            double uz = dot(p.u, ez);
            if (uz <= 0) continue;
            Colour col = particleColour(p, mode, scaleMeV);
            xx.push_back({dot(d, ex) * 100, dot(p.u, ex) / uz * 1000, col});
            yy.push_back({dot(d, ey) * 100, dot(p.u, ey) / uz * 1000, col});
            double gamma = std::sqrt(1 + norm2(p.u) / (kC * kC));
            double v = uz / gamma;
            et.push_back({-dot(d, ez) / v * 1e9, p.kineticMeV, col});
        }
    }
    int pw = w / 3;
    drawPlot(c, x, y, pw - 4, h, "x - x'", "cm", "mrad", xx);
    drawPlot(c, x + pw, y, pw - 4, h, "y - y'", "cm", "mrad", yy);
    drawPlot(c, x + 2 * pw, y, pw - 4, h, "E - t", "ns", "MeV", et);
}
