// The beam: particles coloured by energy, species or charge, the legend
// that explains the colours, and the phase-space plots.
#pragma once

#include "display/frame.hpp"
#include "display/scene.hpp"
#include "display/view_settings.hpp"

// The colour scale of the energy colouring: 0 to this many MeV. Rounded up
// to 1, 2 or 5 times a power of ten so that the legend reads well.
double energyScaleMeV(const DisplayFrame& frame);
Colour particleColour(const DisplayParticle& p, int colourMode, double scaleMeV);
// Whether the view settings show this particle at all.
bool particleShown(const DisplayParticle& p, const ViewSettings& view);

void drawParticles(Scene& s, const DisplayFrame& frame, const ViewSettings& view, double scaleMeV);
// Top right corner of the panel (x0, y0, x1): the colour key and the components.
void drawLegend(Canvas& c, int x1, int y0, const DisplayFrame& frame, const ViewSettings& view,
                double scaleMeV, int textScale);
// Three plots (x-x', y-y', E-t) in the rectangle given.
void drawPhaseSpace(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                    const ViewSettings& view, double scaleMeV);
