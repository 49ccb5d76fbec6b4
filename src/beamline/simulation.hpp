// One evaluation run: the machine, its beam and the simulation parameters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "beamline/beam.hpp"
#include "beamline/datafiles/loaded_files.hpp"
#include "beamline/species.hpp"
#include "model/cell.hpp"

// One bit per species index: may the species be tracked and created.
inline constexpr int kAllowMaskBytes = 10;

struct TrackingEngine;

// The run's tracking engine, made when the run first tracks or is
// configured. A copy of a simulation starts without one: it tracks with an
// engine of its own, never with its original's threads and slots.
struct EngineSlot {
    std::unique_ptr<TrackingEngine> owned;

    EngineSlot();
    ~EngineSlot();
    EngineSlot(EngineSlot&& other) noexcept;
    EngineSlot& operator=(EngineSlot&& other) noexcept;
    EngineSlot(const EngineSlot&);
    EngineSlot& operator=(const EngineSlot& other);
};

struct Simulation {
    CellPtr root;                 // the lattice's root Composite; none when not built
    Beam beam;                    // the particles
    uint32_t seed = 0;            // base random seed (the tick count at setup)
    uint32_t seedpitch = 0;       // seed step per recheck run
    uint32_t effectiveSeed = 0;   // the seed the particles' keys are hashed from
    int32_t particleDivisor = 1;  // sources keep one particle in this many
    int32_t n_decays = 1;         // weighted decay samples per unstable particle
    int32_t nearbyInterval = 10;  // steps between nearby-list refreshes; sizes box margins
    int32_t gridResolution = 50;  // grid cells along the largest extent of the root
    double time = 0;              // current simulation time, seconds
    double startTime = 0;         // time at which tracking started
    double t_max = 1e20;          // tracking stops once time reaches it
    double dt = 1e-11;            // time step, seconds
    double work = 0;              // millions of particle-steps done
    int64_t stepCount = 0;        // steps done
    double errrate = 1e-6;        // error-rate parameter carried for the components
    double twiss_interval = 0;    // spacing of automatic moments apertures; 0 none
    uint8_t allowMask[kAllowMaskBytes] = {0xff, 0xff, 0xff, 0xff, 0xff,
                                          0xff, 0xff, 0xff, 0xff, 0xff};
    uint8_t decays_off = 0;      // 1 disables decays
    uint8_t scattering_off = 0;  // 1 disables scattering in matter
    EngineSlot engine;           // not saved: a restored run makes its own
    // The field maps and scattering tables the components read; shared with
    // the runs before and after it when the caller keeps the set.
    std::shared_ptr<LoadedDataFiles> dataFiles;
    std::string rfSyncLogFile;  // the RF synchronisation's log; empty: none (not saved)
};

// The run's data files, an empty set of its own when it has none yet.
inline LoadedDataFiles& simulationDataFiles(Simulation& simulation) {
    if (!simulation.dataFiles) simulation.dataFiles = std::make_shared<LoadedDataFiles>();
    return *simulation.dataFiles;
}

inline bool speciesAllowed(const Simulation& simulation, int32_t species) {
    if (species < 0 || species >= kAllowMaskBytes * 8) return false;
    return (simulation.allowMask[species / 8] >> (species % 8)) & 1;
}
inline void setSpeciesAllowed(Simulation& simulation, int32_t species, bool allowed) {
    if (species < 0 || species >= kAllowMaskBytes * 8) return;
    uint8_t bit = static_cast<uint8_t>(1u << (species % 8));
    uint8_t& byte = simulation.allowMask[species / 8];
    byte = allowed ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}
