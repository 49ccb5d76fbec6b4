// Small stand-ins for components and scattering tables that the tracking
// tests move particles through.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "beamline/datafiles/scatter_data.hpp"
#include "beamline/particle.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"
#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"
#include "support/test_support.hpp"

inline constexpr double kLight = 299792458.0;
// kg m/s per MeV/c.
inline constexpr double kMeVc = 5.344285418948064e-22;

// A uniform static field: Ex, Ey, Ez, Bx, By, Bz.
struct UniformFieldData {
    double f[6];
};
inline void uniformField(const unsigned char* runData, double, double, double, double,
                         double fields[6]) {
    const UniformFieldData& d = runDataAs<UniformFieldData>(runData);
    for (int i = 0; i < 6; i++) fields[i] += d.f[i];
}

inline CellPtr uniformFieldCell(double bx, double by, double bz, double ex = 0, double ey = 0,
                                double ez = 0) {
    CellPtr cell = cellCreate(Machine, "field");
    runDataInit<UniformFieldData>(*cell) = {{ex, ey, ez, bx, by, bz}};
    cell->fieldFn = uniformField;
    return cell;
}

// A particle of the species with momentum pMeV (MeV/c) along `direction`.
inline Particle movingParticle(int32_t species, double pMeV, Vec3 direction, uint32_t seed = 1) {
    speciesInit();
    Particle p;
    p.species = species;
    p.seed = seed;
    p.u = (pMeV * kMeVc / mass(species) / norm(direction)) * direction;
    return p;
}

inline double momentumMeV(const Particle& p) {
    return norm(p.u) * mass(p.species) / kMeVc;
}

// A scattering table whose rows share their coefficients and events, so that
// what a particle meets does not depend on the row it draws.
inline ScatterData scatterTableOf(std::vector<double> momenta, ScatterCoefficients c,
                                  std::vector<ScatterRecord> records) {
    ScatterData data;
    data.pattern = "test_%d.dat";
    for (double momentum : momenta) {
        ScatterRow row;
        row.coefficients = c;
        row.coefficients.momentum = momentum;
        row.records = records;
        double sum = 0;
        for (const ScatterRecord& r : records) {
            sum += r.rate;
            row.cumulative.push_back(sum);
            row.eventLoss += double(r.rate) * r.loss;
        }
        row.totalLoss = c.meanLoss + row.eventLoss;
        data.table.rows.push_back(std::move(row));
    }
    return data;
}

// A plane z = Z across the whole line that gives crossing particles the
// state in the run data (Finished for a finish line, Stopped for a wall).
struct PlaneData {
    double z;
    int32_t state;
};
inline double zPlaneDistance(const Particle& p, double, const void* context) {
    return p.position.z - static_cast<const PlaneData*>(context)->z;
}
inline int planeIntercept(unsigned char* runData, const Particle& before, const Particle& after,
                          double t0, double t1, const StepContext& context,
                          const ScatterData* scatter, Particle& hit, double& hitTime) {
    const PlaneData& plane = runDataAs<PlaneData>(runData);
    Crossing c = findCrossing(before, t0, after, t1, zPlaneDistance, &plane, scatter, context);
    if (c.found == 0) return 0;
    hit = c.particle;
    hit.state = plane.state;
    hitTime = c.time;
    return 1;
}
inline CellPtr planeCell(double z, int32_t state) {
    CellPtr cell = cellCreate(Machine, "plane");
    runDataInit<PlaneData>(*cell) = {z, state};
    cell->interceptFn = planeIntercept;
    return cell;
}

// Matter that fills the box of its cell.
inline int boxMaterial(const unsigned char*, double, double, double, double) {
    return 1;
}

// A built line along z from the origin: the elements follow one another in
// the given order (each its `length` attribute long, entry frames along z),
// every element's box spans the whole line so that all are nearby
// everywhere, and the root has its proximity grid.
struct TestLine {
    CellPtr root = cellCreate(Composite, "line");

    explicit TestLine(std::vector<CellPtr> elements, double halfWidth = 1) {
        double z = 0;
        for (CellPtr& element : elements) {
            element->entryFrame.origin = {0, 0, z};
            element->arcStart = z;
            z += cellNumber(*element, "length");
            insertChild(*root, element, -1);
        }
        for (CellPtr& element : root->children) {
            cellBoxSet(*element, -halfWidth, -halfWidth, -1, halfWidth, halfWidth, z + 1);
        }
        cellBoxSet(*root, -halfWidth, -halfWidth, -1, halfWidth, halfWidth, z + 1);
        MessageRecorder quiet;
        subMapBuild(*root, 10);
    }
};

inline CellPtr withLength(CellPtr cell, double length) {
    cellSetNumber(*cell, "length", length);
    return cell;
}
inline CellPtr drift(double length) {
    return withLength(cellCreate(Machine, "drift"), length);
}
