// A frame of a running simulation: its beamline, its time and work, and its
// particles turned into what the drawing needs (energy, charge).
#pragma once

#include <vector>

#include "display/frame.hpp"

struct Simulation;

// `storage` holds the converted particles; the frame points into it, so it
// must outlive the frame.
DisplayFrame displayFrameOf(const Simulation& simulation, std::vector<DisplayParticle>& storage);
