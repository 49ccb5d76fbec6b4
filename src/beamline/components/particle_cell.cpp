// Particle cells: single particles, and the synchronous particle of the RF phases.
#include <cmath>
#include <cstdint>

#include "beamline/beam.hpp"
#include "beamline/build/rf_sync.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/species.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/relativity.hpp"

namespace {

// The species a particle cell names by its `species` text, else by its own
// name; -1 after a fatal message when neither names one.
int32_t cellSpecies(const Cell& cell) {
    const std::string* named = cellText(cell, "species");
    int32_t species = named ? speciesByName(*named, false) : kNoSpecies;
    if (species < 0) species = speciesByName(cell.name, false);
    if (species >= 0) return species;
    report(cellHas(cell, "species") ? "[FATAL] Unrecognised particle species name in lattice file"
                                    : "[FATAL] Particle species not specified in lattice file");
    return kNoSpecies;
}

void defineSynchronous(Cell& cell, int32_t species, const std::string& logFile) {
    cellSetNumber(cell, "SpeciesOrd", species);
    if (cellNumber(cell, "Energy") == 0) {
        Vec3 v{cellNumber(cell, "vx"), cellNumber(cell, "vy"), cellNumber(cell, "vz")};
        double v2 = norm2(v);
        // A speed at or above light's has no energy; the particle then stays
        // at rest, and the build falls back on the arclength estimate.
        double energy =
            v2 < kSpeedOfLight2 ? (gammaFromVelocity2(v2) - 1) * restEnergy(species) : 0;
        cellSetNumber(cell, "Energy", energy);
    }
    double energy = cellNumber(cell, "Energy");
    rfSyncLog(logFile, format("conparticle - SpeciesOrd=%d(%s), Energy=%.6gJ(%.6geV)\n", species,
                              speciesInfo(species).name, energy, energy / kElectronVolt));
}

// One particle at the cell's placed frame: the frame's offsets are where it
// starts (x, y, z name the same attributes as X, Y, Z), its velocity is
// turned with the frame.
void addCellParticle(Cell& cell, Simulation& simulation, int32_t species) {
    double id = cellNumber(cell, "id");
    uint32_t key = std::isfinite(id) && std::fabs(id) < 9.2e18
                       ? static_cast<uint32_t>(static_cast<int64_t>(id))
                       : 0;
    Particle& p = addParticle(simulation, species, static_cast<int32_t>(key));
    p.position = cell.placedFrame.origin;
    Vec3 u{cellNumber(cell, "Vx"), cellNumber(cell, "Vy"), cellNumber(cell, "Vz")};
    double energy = cellNumber(cell, "Energy");
    // With an energy and no direction the particle travels along the frame.
    if (energy != 0 && norm2(u) == 0) u = Vec3{0, 0, 1};
    frameRotate(cell.placedFrame, u);
    if (energy != 0) {
        double e = energy / restEnergy(species);
        double length = norm(u);
        if (length > 0) u = u * (kSpeedOfLight * std::sqrt(e * (e + 2)) / length);
    }
    p.u = u;
    p.t = cellNumber(cell, "t_start");
}

void init(Cell& cell, Simulation& simulation) {
    int32_t species = cellSpecies(cell);
    if (species >= 0) {
        if (startsWithNoCase(cell.typeName, "Synchronous-")) {
            defineSynchronous(cell, species, simulation.rfSyncLogFile);
        } else {
            addCellParticle(cell, simulation, species);
        }
    }
    // Particle cells take part in the build only: the builder drops them
    // from the beamline once the RF phases are set.
    cell.kind = Nonmachine;
}

}  // namespace

const CellTypeFunctions particleCellFunctions{
    .fieldFn = nullptr,
    .interceptFn = nullptr,
    .materialFn = nullptr,
    .boundsFn = nullptr,
    .initFn = init,
};
