// What the main cycle hands the display for one frame: the run's beamline
// and the particles as the display needs them. Keeping this small record
// between the tracking's particle array and the drawing means the drawing
// never depends on how the tracking stores its particles.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/vec3.hpp"

struct Cell;

struct DisplayParticle {
    Vec3 position;  // metres, global
    Vec3 u;         // gamma times velocity, m/s
    double weight = 1;
    double kineticMeV = 0;  // kinetic energy
    int32_t species = -1;   // species index
    int32_t state = 0;      // 0 active, -1 finished, others lost
    int32_t charge = 0;     // -1, 0 or +1
    int32_t id = 0;
};

struct DisplayFrame {
    const Cell* root = nullptr;  // the beamline; none before the first build
    std::string latticeName;
    double time = 0;  // seconds
    double tMax = 0;  // seconds
    double work = 0;  // millions of particle time steps
    int32_t activeCount = 0;
    int32_t slotCount = 0;
    std::span<const DisplayParticle> particles;  // the active ones first, then the others
    // Names of species for the legend; none gives numbers.
    const char* (*speciesName)(int32_t species) = nullptr;
};

inline bool isMuon(int32_t species) {
    return species == 1 || species == 3;
}
inline bool isPion(int32_t species) {
    return species == 0 || species == 2;
}
