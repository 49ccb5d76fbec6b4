// The beam: particles coloured by energy, species or charge, the legend
// that explains the colours, and the phase-space plots.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "display/frame.hpp"
#include "display/scene.hpp"
#include "display/view_settings.hpp"

// The colour scale of the energy colouring: 0 to this many MeV. Rounded up
// to 1, 2 or 5 times a power of ten so that the legend reads well.
double energyScaleMeV(const DisplayFrame& frame);
Colour particleColour(const DisplayParticle& p, int colourMode, double scaleMeV);
// Whether the view settings show this particle at all.
bool particleShown(const DisplayParticle& p, const ViewSettings& view);

// The particles the auto view and the phase-space plots scale to: the
// active ones shown that are inside the channel (elementExtents), or all the
// active ones shown when none is. Pions escaping upstream of the target or
// scattered out of the channel are no part of the beam being guided.
std::vector<const DisplayParticle*> guidedParticles(const DisplayFrame& frame,
                                                    const ViewSettings& view);

void drawParticles(Scene& s, const DisplayFrame& frame, const ViewSettings& view, double scaleMeV);
// Particles no longer tracked, when the lost-particle display (F4) shows
// them in grey: lost ones, and green those that reached the end. In its
// other setting they keep their colours, dimmed by this factor.
inline constexpr Colour kLostColour = rgb(90, 90, 90);
inline constexpr Colour kFinishedColour = rgb(40, 140, 60);
inline constexpr double kLostDimming = 0.5;

struct LegendItem {
    Colour colour;
    std::string text;
};
// The legend's entries for this frame and these settings, top to bottom
// after the energy scale.
std::vector<LegendItem> legendItems(const DisplayFrame& frame, const ViewSettings& view);
// Top right corner of the panel (x0, y0, x1): the colour key and the components.
void drawLegend(Canvas& c, int x1, int y0, const DisplayFrame& frame, const ViewSettings& view,
                double scaleMeV, int textScale);
// Three plots (x-x', y-y', E-t) in the rectangle given.
void drawPhaseSpace(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                    const ViewSettings& view, double scaleMeV);

// What one phase-space plot shows: the centre and the half-widths of its two
// axes, and how many particles it holds.
struct PlotWindow {
    double centreA = 0, centreB = 0, halfA = 0, halfB = 0;
    int points = 0;
};
// The windows of the three plots for this frame: x-x' and y-y' in cm and
// mrad, E-t in ns and MeV.
std::array<PlotWindow, 3> phaseSpaceWindows(const DisplayFrame& frame, const ViewSettings& view);
