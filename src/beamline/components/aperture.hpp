// Apertures: thin planes across the beamline (the local x-y plane of the
// aperture's placed frame). A particle crossing one may be stopped by its
// plate, have its fate set (Finished, WrongEnergy outside an energy window,
// or any state the lattice asks for), be written to a CSV file, or be added
// to the beam moments of a moments aperture.
//
// aperture.cpp holds the row of the type table and what every kind shares;
// each family has its own file: aperture_rectangular.cpp,
// aperture_circular.cpp (circular, output and finish apertures),
// aperture_edge.cpp, aperture_moments.cpp and aperture_output.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "beamline/cell_types.hpp"
#include "model/vec3.hpp"

struct StepContext;

enum ApertureShape : int32_t {
    ApertureNoShape = 0,  // a type text that names no aperture kind: no plate, no box
    ApertureRectangle = 1,
    ApertureCircle = 2,
    ApertureEdgeShape = 3,
};

enum ApertureKind : int32_t {
    ApertureUnknown = 0,
    ApertureRectangular,
    ApertureCircular,
    ApertureEdge,
    ApertureMoments,
    ApertureOutput,
    ApertureFinish,
};

// Weighted beam sums of a moments aperture: the weight, then first and
// second moments of x, y (local, metres), gamma-beta x and y (local axes),
// kinetic energy (MeV) and time (seconds), then the x and y phase-space
// correlations.
enum MomentSum : int32_t {
    SumWeight = 0,
    SumFirst = 1,   // 1..6: x, y, gbx, gby, E, t
    SumSecond = 7,  // 7..12
    SumXGbx = 13,
    SumYGby = 14,
    kMomentSums = 15
};
inline constexpr int kMomentQuantities = 6;

// The output file name lives in the run data, so that a run restored from
// an auto-save writes where the interrupted run wrote.
inline constexpr int kOutputNameBytes = 88;

struct ApertureData {
    Frame3 frame;       // the placed frame; the plane is its local z = 0
    int32_t action;     // state of particles inside the energy window; 0 none
    int32_t altaction;  // state of particles outside it; 0 none
    double minenergy;   // kinetic energy bounds in joules; 0 means none
    double maxenergy;
    // Geometry: rectangle x1, y1, x2, y2; circle centrex, centrey, radius;
    // edge distance, normalx, normaly.
    double p[4];
    double sums[kMomentSums];           // moments apertures; sums[0] is -1 for other kinds
    int32_t shape;                      // ApertureShape
    int32_t kind;                       // ApertureKind
    char outputfile[kOutputNameBytes];  // CSV file for particles in the window; empty: none
};
static_assert(sizeof(ApertureData) <= kApertureRunDataBytes);

// Family parts, called by the shared code in aperture.cpp.
void rectangularInit(ApertureData& d, const Cell& cell);
void rectangularBounds(const ApertureData& d, Cell& cell);
bool rectangularPlateStops(const ApertureData& d, double x, double y);

void circularInit(ApertureData& d, const Cell& cell, double defaultRadius);
void circularBounds(const ApertureData& d, Cell& cell);
bool circularPlateStops(const ApertureData& d, double x, double y);

void edgeInit(ApertureData& d, const Cell& cell);

void momentsInit(ApertureData& d, const Cell& cell);
// Adds one crossing particle (thread-safe).
void momentsAdd(ApertureData& d, Vec3 local, Vec3 uLocal, double kineticJ, double t, double weight);

// Sets the output file: the `outputfile` attribute when it names a file in
// the program folder, otherwise (refused with a warning) or when `dated` is
// set and there is none, "output_CELL_DATE_TIME.csv".
void outputInit(ApertureData& d, const Cell& cell, bool dated);
// Appends one particle line to the aperture's file (or its thread file).
void outputWrite(const ApertureData& d, const StepContext& context, Vec3 local, double t,
                 Vec3 uLocal, int32_t species, double weight);

// --- for the run ---

// While a run is configured for more than one tracking thread, each thread
// writes its own "$thread$N" file beside the output file; this appends them
// to their output files after the run.
void mergeThreadOutputs();

// The name the output file takes for `cellName` at the present local time.
std::string datedOutputName(const std::string& cellName);

// What a moments aperture saw, for lattice authors following the beam.
struct MomentsSummary {
    std::string name;
    double s = 0;         // beamline arclength of the plane, metres
    double weight = 0;    // total weight that crossed it inside its window
    double mean[3] = {};  // x (m), y (m), kinetic energy (MeV)
    double rms[3] = {};
    double emittance[2] = {};  // normalised rms emittances x and y, mm (mm rad)
};
// Every moments aperture of the tree, in beamline order.
std::vector<MomentsSummary> momentsSummaries(const Cell& root);
// "moments NAME s=S weight=W x=MEAN±RMS y=MEAN±RMS E=MEAN±RMS MeV enx=EX eny=EY mm"
std::string momentsLine(const MomentsSummary& m);
