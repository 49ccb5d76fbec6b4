#include "display/overlay.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "beamline/cell_types.hpp"
#include "common/text.hpp"
#include "display/beamline_view.hpp"
#include "model/cell.hpp"

namespace {

constexpr size_t kBandLines = 64;

}  // namespace

std::string frameRateText(const ViewSettings& view) {
    return view.autoFrameRate ? format("Frame-rate: AUTO (1/%d)", view.stepsPerPass)
                              : format("Frame-rate: 1/%d", view.stepsPerPass);
}

std::string infoLineText(const DisplayFrame& frame, const ViewSettings& view) {
    return format("t = %.2fns (%d/%d particles) %.1f Mpts   %s   %s", frame.time * 1e9,
                  frame.activeCount, frame.slotCount, frame.work, frameRateText(view).c_str(),
                  view.autoView ? "Auto view ON" : "Auto view OFF");
}

void drawCentred(Canvas& c, int y, const std::string& text, Colour colour, int textScale) {
    drawText(c, (c.width - textWidth(text, textScale)) / 2, y, text, colour, textScale);
}

void drawInfoLine(Canvas& c, const DisplayFrame& frame, const ViewSettings& view, int textScale) {
    int lh = textHeight(textScale);
    fillRect(c, 0, 0, c.width, lh + 4, rgb(20, 20, 30));
    drawText(c, 6, 3, infoLineText(frame, view), kPanelText, textScale);
    std::string right =
        frame.latticeName.empty() ? "F1 = Help" : frame.latticeName + "   F1 = Help";
    drawText(c, c.width - 6 - textWidth(right, textScale), 3, right, kPanelDimText, textScale);
}

void drawInfoPanel(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                   const ViewSettings& view, int textScale) {
    if (view.infoMode == 0 || h <= 0) return;
    int lh = textHeight(textScale);
    std::vector<std::string> lines;
    if (view.infoMode == 1) {
        lines.push_back(
            format("Lattice: %s", frame.latticeName.empty() ? "-" : frame.latticeName.c_str()));
        lines.push_back(format("Time %.3f ns of %.3f ns", frame.time * 1e9, frame.tMax * 1e9));
        double muons = 0, pions = 0, other = 0;
        for (const DisplayParticle& p : frame.particles) {
            if (p.state != 0) continue;
            (isMuon(p.species) ? muons : isPion(p.species) ? pions : other) += p.weight;
        }
        lines.push_back(
            format("Active weight: muons %.4f  pions %.4f  other %.4f", muons, pions, other));
        lines.push_back(format("Particles %d active of %d", frame.activeCount, frame.slotCount));
    } else if (frame.root) {
        // The elements where most of the beam was lost.
        struct Loss {
            const Cell* cell;
            double weight;
        };
        std::vector<Loss> losses;
        forEachElement(*frame.root, [&](const Cell& cell) {
            if (cell.lostWeight.get() > 0) losses.push_back({&cell, cell.lostWeight.get()});
        });
        std::sort(losses.begin(), losses.end(),
                  [](const Loss& a, const Loss& b) { return a.weight > b.weight; });
        lines.push_back(losses.empty() ? "No losses yet" : "Losses by element:");
        for (size_t i = 0; i < losses.size() && i < 6; i++) {
            lines.push_back(
                format("  %-16s %8.4f", losses[i].cell->name.c_str(), losses[i].weight));
        }
    }
    fillRect(c, x, y, w, h, rgb(14, 14, 20));
    int ty = y + 4;
    for (const std::string& line : lines) {
        if (ty + lh > y + h) break;
        drawText(c, x + 6, ty, line, kPanelText, textScale);
        ty += lh;
    }
}

void drawParticleInfo(Canvas& c, int x, int y, const DisplayFrame& frame, int textScale) {
    int lh = textHeight(textScale), shown = 0;
    for (const DisplayParticle& p : frame.particles) {
        if (p.state != 0) continue;
        const char* name = frame.speciesName ? frame.speciesName(p.species) : nullptr;
        std::string sp = name ? name : format("%d", p.species);
        drawText(c, x, y + shown * lh,
                 format("#%-6d %-5s %8.2f MeV  x %7.2f y %7.2f z %8.2f cm  w %.3g", p.id,
                        sp.c_str(), p.kineticMeV, p.position.x * 100, p.position.y * 100,
                        p.position.z * 100, p.weight),
                 rgb(200, 230, 200), textScale);
        if (++shown == 10) break;
    }
}

void drawPausedMark(Canvas& c, const RunControl& run, int textScale) {
    if (run.running) return;
    int scale = textScale + 1;
    std::string text = "|| PAUSED ||";
    int y = textHeight(textScale) + 14;
    int w = textWidth(text, scale) + 16;
    fillRect(c, (c.width - w) / 2, y - 4, w, textHeight(scale) + 4, rgb(60, 20, 20));
    drawCentred(c, y, text, rgb(255, 210, 90), scale);
    if (run.elapsedAtPause >= 0) {
        drawCentred(c, y + textHeight(scale) + 4, format("paused after %.0f s", run.elapsedAtPause),
                    kPanelDimText, textScale);
    }
}

void drawHelp(Canvas& c, int textScale) {
    int lh = textHeight(textScale);
    int w = 0;
    for (int i = 0; i < kHelpLineCount; i++) w = std::max(w, textWidth(kHelpLines[i], textScale));
    int h = lh * kHelpLineCount + 16;
    int x = std::max(0, (c.width - w) / 2 - 10), y = std::max(0, (c.height - h) / 2);
    fillRect(c, x, y, w + 20, h, rgb(10, 10, 40));
    drawRect(c, x, y, w + 20, h, rgb(100, 100, 160));
    for (int i = 0; i < kHelpLineCount; i++)
        drawText(c, x + 10, y + 8 + i * lh, kHelpLines[i], kPanelText, textScale);
}

void drawEntry(Canvas& c, const ViewSettings& view, int y, int textScale) {
    if (view.entryMode == EntryMode::None) return;
    std::string prompt =
        view.entryMode == EntryMode::FindCell ? "Find cell:" : "Aperture scan from:";
    std::string text = prompt + " " + view.entryText + "_";
    if (!view.matchText.empty())
        text += "   -> " + view.matchText + "  (Tab takes it, Enter closes)";
    int lh = textHeight(textScale);
    fillRect(c, 0, y, c.width, lh + 6, rgb(30, 40, 70));
    drawText(c, 8, y + 3, text, rgb(255, 255, 200), textScale);
}

void drawGrid(Scene& s) {
    if (s.kind == ViewKind::Perspective) return;
    double step = 0.01;
    while (step * s.pixelsPerMetre < 12) step *= 10;
    double halfW = s.w / 2.0 / s.pixelsPerMetre, halfH = s.h / 2.0 / s.pixelsPerMetre;
    Canvas& c = *s.canvas;
    for (double z = std::floor((s.centreZ - halfW) / step) * step; z <= s.centreZ + halfW;
         z += step) {
        double x = s.x + s.w / 2.0 + (z - s.centreZ) * s.pixelsPerMetre;
        bool major = std::abs(std::remainder(z, step * 10)) < step / 2;
        drawLine(c, x, s.y, x, s.y + s.h, major ? rgb(48, 48, 58) : rgb(28, 28, 36));
    }
    for (double a = std::floor((s.centreAcross - halfH) / step) * step; a <= s.centreAcross + halfH;
         a += step) {
        double y = s.y + s.h / 2.0 - (a - s.centreAcross) * s.pixelsPerMetre;
        bool major = std::abs(std::remainder(a, step * 10)) < step / 2;
        drawLine(c, s.x, y, s.x + s.w, y, major ? rgb(48, 48, 58) : rgb(28, 28, 36));
    }
    drawText(c, s.x + 4, s.y + s.h - 10, format("grid %g cm", step * 100), rgb(110, 110, 120));
}

void drawParameterGraphs(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                         const ViewSettings& view, double zFrom, double zTo) {
    if (!frame.root || h <= 0 || zTo <= zFrom) return;
    uint16_t which = view.parameterGraphs ? view.parameterGraphs : 1;
    std::vector<int> graphs;
    for (int g = 0; g < 3; g++) {
        if (which & (1u << g)) graphs.push_back(g);
    }
    if (graphs.empty()) return;
    int gh = h / static_cast<int>(graphs.size());
    static const char* const titles[] = {"Solenoid field (T)", "Aperture and bore radius (m)",
                                         "Lost weight by element"};
    for (size_t gi = 0; gi < graphs.size(); gi++) {
        int g = graphs[gi], gy = y + static_cast<int>(gi) * gh;
        struct Bar {
            double s0, s1, value;
        };
        std::vector<Bar> bars;
        forEachElement(*frame.root, [&](const Cell& cell) {
            double s0 = cell.arcStart, s1 = cell.arcStart + cellNumber(cell, "length");
            if (g == 0 && cell.drawKind == DrawSolenoid)
                bars.push_back({s0, s1, cellNumber(cell, "field")});
            if (g == 1) {
                double r = std::max(cellNumber(cell, "bore"), cellNumber(cell, "radius"));
                if (r > 0) bars.push_back({s0, std::max(s1, s0 + 0.02), r});
            }
            if (g == 2 && cell.lostWeight.get() > 0) {
                bars.push_back({s0, std::max(s1, s0 + 0.02), cell.lostWeight.get()});
            }
        });
        fillRect(c, x, gy, w, gh - 2, rgb(12, 12, 18));
        drawRect(c, x, gy, w, gh - 2, rgb(60, 60, 80));
        drawText(c, x + 4, gy + 3, titles[g], kPanelDimText);
        double top = 1e-12;
        for (const Bar& b : bars) top = std::max(top, std::abs(b.value));
        int mid = g == 0 ? gy + gh / 2 : gy + gh - 4;
        double scale = (g == 0 ? gh / 2.0 - 14 : gh - 18) / top;
        for (const Bar& b : bars) {
            int x0 = x + static_cast<int>((b.s0 - zFrom) / (zTo - zFrom) * w);
            int x1 = x + static_cast<int>((b.s1 - zFrom) / (zTo - zFrom) * w);
            int bh = static_cast<int>(b.value * scale);
            Colour col = g == 0   ? (b.value < 0 ? kSolenoidMinus : kSolenoidPlus)
                         : g == 1 ? kApertureColour
                                  : rgb(230, 80, 80);
            if (bh >= 0) {
                fillRect(c, x0, mid - bh, std::max(1, x1 - x0), bh, col);
            } else {
                fillRect(c, x0, mid, std::max(1, x1 - x0), -bh, col);
            }
        }
        drawText(c, x + w - 80, gy + 3, format("max %.3g", top), kPanelDimText);
    }
}

void messageBandAdd(MessageBand& band, std::string_view text, bool replaceLast, double now) {
    if (replaceLast && !band.lines.empty()) band.lines.pop_back();
    band.lines.emplace_back(text.substr(0, 300));
    while (band.lines.size() > kBandLines) band.lines.pop_front();
    band.lastLineTime = now;
}

void drawRecentMessages(Canvas& c, const MessageBand& band, int bottom, int textScale) {
    int lh = textHeight(textScale) + 1;
    int n = static_cast<int>(std::min<size_t>(3, band.lines.size()));
    if (n == 0) return;
    int top = bottom - n * lh - 4;
    fillRect(c, 0, top, c.width, n * lh + 4, rgb(8, 8, 14));
    fillRect(c, 0, top - 1, c.width, 1, rgb(128, 128, 128));
    for (int i = 0; i < n; i++) {
        drawCentred(c, top + 2 + i * lh, band.lines[band.lines.size() - n + i], kPanelText,
                    textScale);
    }
}

void drawMessageBand(Canvas& c, const MessageBand& band, int textScale) {
    int top = static_cast<int>(c.height * 0.3), bottom = static_cast<int>(c.height * 0.7);
    int lh = textHeight(textScale) + 1;
    fillRect(c, 0, top, c.width, bottom - top, rgb(8, 8, 14));
    fillRect(c, 0, top - 2, c.width, 1, rgb(128, 128, 128));
    fillRect(c, 0, bottom + 1, c.width, 1, rgb(128, 128, 128));
    int y = bottom - lh;
    for (auto it = band.lines.rbegin(); it != band.lines.rend() && y >= top; ++it, y -= lh) {
        drawCentred(c, y, *it, kPanelText, textScale);
    }
}
