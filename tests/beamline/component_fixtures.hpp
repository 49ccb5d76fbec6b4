// Building single components for their tests: a placed, bound and
// initialised element, and a particle stepped through one component the way
// the tracking step does it.
#pragma once

#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>

#include "beamline/cell_types.hpp"
#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell_geometry.hpp"
#include "model/relativity.hpp"
#include "support/test_support.hpp"

// A frame turned by `angle` in the z-x plane (so that no axis is along z)
// and moved to `origin`.
inline Frame3 turnedFrame(double angle, Vec3 origin = Vec3{}) {
    Frame3 f;
    f.origin = origin;
    double c = std::cos(angle), s = std::sin(angle);
    double axes[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
    for (int i = 0; i < 9; i++) f.axes[i] = axes[i];
    return f;
}

using NumberAttributes = std::initializer_list<std::pair<const char*, double>>;

// An element of the given type with its attributes, placed at `frame` (its
// own transforms applied), its functions bound and its initFn run.
inline CellPtr placedElement(const char* type, const char* name, NumberAttributes numbers,
                             Simulation& simulation, Frame3 frame = Frame3{}) {
    speciesInit();
    CellPtr cell = cellCreate(Machine, name);
    cell->typeName = type;
    for (const auto& [key, value] : numbers) cellSetNumber(*cell, key, value);
    cell->entryFrame = frame;
    cell->placedFrame = applyTransforms(*cell, frame);
    bindCellTypeFunctions(*cell);
    const CellType* row = cellTypeFindSubstring(type);
    if (row && row->functions->initFn) row->functions->initFn(*cell, simulation);
    return cell;
}

inline double componentField(const Cell& cell, Vec3 p, double t, int index) {
    double f[6] = {0, 0, 0, 0, 0, 0};
    if (cell.fieldFn) cell.fieldFn(cell.runData, p.x, p.y, p.z, t, f);
    return f[index];
}

// A particle of the species at `position` with proper velocity u.
inline Particle particleAt(int32_t species, Vec3 position, Vec3 u, uint32_t seed = 7) {
    speciesInit();
    Particle p;
    p.species = species;
    p.position = position;
    p.u = u;
    p.seed = seed;
    return p;
}

// Proper speed (m/s) of a particle of the species with momentum pMeV (MeV/c).
inline double properSpeedOf(int32_t species, double pMeV) {
    return pMeV * 1e6 * kElectronVolt / kSpeedOfLight / mass(species);
}

// Steps a particle from t through one component's intercepts until tEnd, in
// steps of h, as the tracking step would: a hit replaces the step's end.
// Returns the time reached when the particle stopped being active, or tEnd.
inline double stepThrough(Cell& cell, Particle& p, double t, double tEnd, double h) {
    while (t < tEnd && p.state == StateActive) {
        double t1 = std::fmin(t + h, tEnd);
        Particle after = p;
        pushParticle(after, t, t1 - t);
        Particle hit;
        double hitTime = 0;
        if (cell.interceptFn &&
            cell.interceptFn(cell.runData, p, after, t, t1, StepContext{}, nullptr, hit, hitTime)) {
            p = hit;
            t = hitTime;
        } else {
            p = after;
            t = t1;
        }
    }
    return t;
}
