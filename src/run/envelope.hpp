// The beam along the beamline, for lattice authors who want to see where a
// design loses its beam: at sample planes every `every` metres of arclength,
// the weight that reached the plane by species, the rms sizes, the normalised
// rms emittances and the mean momentum. It is recorded between time steps
// from the particles' positions, so it costs nothing unless a run asks for it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/line.hpp"

// Weighted sums of the particles counted at one plane.
struct EnvelopePlane {
    double s = 0;                                   // beamline arclength, metres
    std::array<double, kSpeciesCount> weight = {};  // by species
    double total = 0;                               // weight of every species
    // First and second moments of x, y (metres) and gamma-beta x, y in the
    // plane's axes, the x and y correlations, and the momentum (MeV/c).
    double x = 0, xx = 0, y = 0, yy = 0, gx = 0, gxgx = 0, gy = 0, gygy = 0, xgx = 0, ygy = 0;
    double p = 0;
};

struct EnvelopeRecorder {
    double every = 0.1;            // metres between planes
    double initialWeight = 0;      // of the whole beam when tracking starts
    PreparedLine line;             // the root's element geometry, read once
    std::vector<double> arcStart;  // of each top-level element
    std::vector<EnvelopePlane> planes;
};

// Planes from s = 0 to the end of the line; more than this many is refused.
inline constexpr size_t kMaxEnvelopePlanes = 100000;

// Sets the planes for a built run and takes its beam's weight; call it before
// the first step. False when the line is empty or would need more than
// kMaxEnvelopePlanes planes.
bool envelopeStart(EnvelopeRecorder& recorder, Simulation& simulation);
// Counts every particle at the planes it passed since the last call, with
// its state carried back to the plane (main thread, between steps).
void envelopeRecord(EnvelopeRecorder& recorder, Simulation& simulation);

// What a plane's sums mean: shares of the initial weight, sizes in mm,
// emittances in mm (mm rad), momentum in MeV/c; NaN where no weight arrived.
struct EnvelopeRow {
    double s = 0;
    double transmission = 0;
    std::array<double, kSpeciesCount> bySpecies = {};
    double xRms = 0, yRms = 0, enx = 0, eny = 0, pMean = 0;
};
EnvelopeRow envelopeRow(const EnvelopeRecorder& recorder, const EnvelopePlane& plane);

// The CSV that scripts/pelto-plot reads: a header
// "s_m,transmission,transmission_NAME...,x_rms_mm,y_rms_mm,enx_mm,eny_mm,p_mean_MeV"
// with one transmission column for each species that reached any plane, then
// one line per plane.
std::string envelopeCsv(const EnvelopeRecorder& recorder);
