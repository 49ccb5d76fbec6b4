// Shared by the display tests: a demo beamline placed in space, a made-up
// beam travelling along it, and key events pushed into the real window.
#pragma once

#include <string>
#include <vector>

#include "display/frame.hpp"
#include "model/cell.hpp"
#include "support/sdl_events.hpp"

// The demo lattice `name` (demo/lattices), interpreted with every free
// parameter at `level` and placed from the origin.
CellPtr placedDemoLattice(const std::string& name, int level);

// `count` particles spread over one metre of the reference path around
// arclength `s`, pions and muons with energies up to about 300 MeV, and
// `lost` of them stopped behind. Deterministic.
std::vector<DisplayParticle> beamAlong(const Cell& root, double s, int count, int lost);

DisplayFrame frameOf(const Cell& root, const std::vector<DisplayParticle>& beam, double time);
