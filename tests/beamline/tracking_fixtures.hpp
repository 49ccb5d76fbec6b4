// Small stand-ins for components and scattering tables that the tracking
// tests move particles through.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "beamline/cell.hpp"
#include "beamline/particle.hpp"
#include "beamline/scatter_data.hpp"
#include "beamline/species.hpp"

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

inline NearbyList nearbyOf(std::vector<Cell*> cells) {
    return std::make_shared<const std::vector<Cell*>>(std::move(cells));
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
