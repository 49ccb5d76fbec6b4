// The equation of motion: the summed fields near a particle and the
// fourth-order Runge-Kutta step through them.
#include "beamline/species.hpp"
#include "beamline/tracking/push_batch.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"
#include "model/relativity.hpp"

namespace {

// Charge over mass per species, C/kg; neutral species have 0 and move
// straight without looking at the fields.
struct ChargeOverMass {
    double value[kSpeciesCount];
};
ChargeOverMass chargeOverMassTable() {
    ChargeOverMass t{};
    for (int32_t s = 0; s < kSpeciesCount; s++) {
        t.value[s] = mass(s) > 0 ? charge(s) / mass(s) : 0;
    }
    return t;
}
const ChargeOverMass kChargeOverMass = chargeOverMassTable();

struct Derivative {
    Vec3 dx;  // velocity
    Vec3 du;  // rate of change of the proper velocity
};

Derivative derivative(const std::vector<Cell*>* nearby, double qm, double s, Vec3 x, Vec3 u) {
    double g = invGammaFromProperVelocity2(norm2(u));
    Vec3 v = g * u;
    double f[6];
    fieldAt(nearby, x.x, x.y, x.z, s, f);
    Vec3 e{f[0], f[1], f[2]};
    Vec3 b{f[3], f[4], f[5]};
    return {v, qm * (e + cross(v, b))};
}

}  // namespace

void fieldAt(const std::vector<Cell*>* nearby, double x, double y, double z, double t,
             double fields[6]) {
    for (int i = 0; i < 6; i++) fields[i] = 0;
    if (!nearby) return;
    for (size_t i = nearby->size(); i-- > 0;) {
        const Cell* cell = (*nearby)[i];
        if (!cell->fieldFn) continue;
        cell->fieldFn(cell->runData, x, y, z, t, fields);
    }
}

bool anyField(const std::vector<Cell*>* nearby) {
    if (!nearby) return false;
    for (const Cell* cell : *nearby) {
        if (cell->fieldFn) return true;
    }
    return false;
}

double chargeOverMassOf(int32_t species) {
    return species >= 0 && species < kSpeciesCount ? kChargeOverMass.value[species] : 0;
}

void pushParticle(Particle& particle, double t, double h) {
    double qm = chargeOverMassOf(particle.species);
    Vec3 x = particle.position;
    Vec3 u = particle.u;
    double g0 = invGammaFromProperVelocity2(norm2(u));
    particle.properTime += h * g0;
    const std::vector<Cell*>* nearby = nearbyList(particle);
    if (qm == 0 || !anyField(nearby)) {
        // No force: the Runge-Kutta stages would all agree.
        particle.position = x + (h * g0) * u;
        return;
    }
    double half = 0.5 * h;
    Derivative k1 = derivative(nearby, qm, t, x, u);
    Derivative k2 = derivative(nearby, qm, t + half, x + half * k1.dx, u + half * k1.du);
    Derivative k3 = derivative(nearby, qm, t + half, x + half * k2.dx, u + half * k2.du);
    Derivative k4 = derivative(nearby, qm, t + h, x + h * k3.dx, u + h * k3.du);
    double sixth = h / 6;
    particle.position = x + sixth * (k1.dx + 2 * k2.dx + 2 * k3.dx + k4.dx);
    particle.u = u + sixth * (k1.du + 2 * k2.du + 2 * k3.du + k4.du);
}
