// Steps through matter: continuous energy loss and multiple scattering
// between discrete events drawn from the component's scattering table.
#include <algorithm>
#include <cmath>

#include "beamline/datafiles/scatter_data.hpp"
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/relativity.hpp"

namespace {

constexpr double kTwoPi = 6.283185307179586;
// kg m/s per MeV/c: 1e6 eV / c.
constexpr double kMomentumPerMeV = 5.344285418948064e-22;

// Two independent standard normal variates from one pair of uniforms of the
// particle's stream (Box-Muller). The pair starts at an even counter and the
// counter moves past it, so that no other draw shares a uniform with it: a
// normal built on the uniform that also chose a path length would tie the
// loss to that length and widen its spread.
void standardNormalPair(Particle& p, double& a, double& b) {
    uint32_t n = (static_cast<uint32_t>(p.drawCount) + 1) & ~1u;
    double u1 = randuniform(p.seed, n);
    double u2 = randuniform(p.seed, n + 1);
    p.drawCount = static_cast<int32_t>(n + 2);
    double radius = std::sqrt(2 * std::fabs(std::log(u1 + 1e-20)));
    a = radius * std::cos(kTwoPi * u2);
    b = radius * std::sin(kTwoPi * u2);
}

// A direction uniform in the unit ball, drawn from the particle's stream.
Vec3 ballDirection(Particle& p) {
    for (;;) {
        Vec3 w{2 * particleUniform(p) - 1, 2 * particleUniform(p) - 1, 2 * particleUniform(p) - 1};
        if (norm2(w) <= 1) return w;
    }
}

// A vector of the given length at right angles to u, in a random direction
// (zero in the rare case that the draw was parallel to u).
Vec3 perpendicular(Particle& p, Vec3 u, double length) {
    Vec3 w = ballDirection(p);
    double u2 = norm2(u);
    if (u2 > 0) w = w - (dot(w, u) / u2) * u;
    double n = norm(w);
    return n > 0 ? (length / n) * w : Vec3{};
}

// u slowed by -du along itself and turned by the transverse kick w. The
// kick only turns the direction: added as it stands it would lengthen u by
// about |w|^2 / (2 |u|), a gain the table's mean loss does not allow for
// (in tantalum at 200 MeV/c a seventh of the loss). A particle slowed to
// rest or beyond keeps the plain sum; it falls below the table at its next
// look-up.
Vec3 turnAndSlow(Vec3 u, double speedU, double du, Vec3 w) {
    Vec3 v = u + (speedU > 0 ? du / speedU : 0) * u + w;
    double target = speedU + du, length = norm(v);
    if (norm2(w) == 0 || !(target > 0) || !(length > 0)) return v;
    return (target / length) * v;
}

// The row for momentum pMeV: a random one of the two rows around it, the
// nearer one more likely; -1 with state 5 or 6 when pMeV lies outside the
// table.
int findRow(const ScatterTable& table, Particle& particle, double pMeV) {
    const std::vector<ScatterRow>& rows = table.rows;
    auto above = std::upper_bound(
        rows.begin(), rows.end(), pMeV,
        [](double p, const ScatterRow& row) { return p < row.coefficients.momentum; });
    if (above == rows.begin()) {
        particle.state = StateBelowTable;
        return -1;
    }
    size_t lo = static_cast<size_t>(above - rows.begin()) - 1;
    if (lo + 1 >= rows.size()) {
        particle.state = StateAboveTable;
        return -1;
    }
    double pLo = rows[lo].coefficients.momentum;
    double r = particleUniform(particle) * (rows[lo + 1].coefficients.momentum - pLo);
    return static_cast<int>(pMeV - pLo > r ? lo + 1 : lo);
}

}  // namespace

void matterStep(Particle& particle, double t, double h, const ScatterData* data,
                const StepContext& context) {
    if (!data) {
        pushParticle(particle, t, h);
        return;
    }
    const ScatterTable& table = data->table;
    const double k = kMomentumPerMeV / mass(particle.species);
    const double tEnd = t + h;
    const bool scatter = !context.noScattering;
    for (;;) {
        int rowIndex = findRow(table, particle, norm(particle.u) / k);
        if (rowIndex < 0) return;
        const ScatterRow& row = table.rows[static_cast<size_t>(rowIndex)];

        // Distance to the next discrete event, cut at the end of the step.
        double speed = speedFromProperSpeed(norm(particle.u));
        double length = -std::log(std::max(particleUniform(particle), 1e-8)) / row.totalRate();
        double tau = length / speed;
        bool last = !scatter || !(t + tau <= tEnd);
        if (last) {
            tau = tEnd - t;
            length = speed * tau;
        }
        pushParticle(particle, t, tau);
        t += tau;

        // Continuous loss and multiple scattering over the path.
        const ScatterCoefficients& c = row.coefficients;
        double dp = -row.totalLoss * length;
        double q1 = 0, q2 = 0;
        if (scatter) {
            double n1, n2, n3, unused;
            standardNormalPair(particle, n1, n2);
            standardNormalPair(particle, n3, unused);
            double spread = std::sqrt(c.transverseVariance * length);
            dp = -c.meanLoss * length + std::sqrt(c.lossVariance * length) * n1;
            q1 = spread * n2;
            q2 = spread * n3;
        }
        Vec3 u = particle.u;
        double speedU = norm(u);
        Vec3 w = perpendicular(particle, u, k * std::sqrt(q1 * q1 + q2 * q2));
        particle.u = turnAndSlow(u, speedU, k * dp, w);
        if (last) return;

        // The discrete event at the end of the path.
        rowIndex = findRow(table, particle, norm(particle.u) / k);
        if (rowIndex < 0) return;
        const ScatterRow& eventRow = table.rows[static_cast<size_t>(rowIndex)];
        double x = particleUniform(particle) * eventRow.totalRate();
        size_t e = static_cast<size_t>(
            std::lower_bound(eventRow.cumulative.begin(), eventRow.cumulative.end(), x) -
            eventRow.cumulative.begin());
        if (e >= eventRow.records.size()) e = eventRow.records.size() - 1;
        const ScatterRecord& event = eventRow.records[e];
        u = particle.u;
        speedU = norm(u);
        Vec3 kick = perpendicular(particle, u, k * event.kick);
        particle.u = u + kick - (speedU > 0 ? k * event.loss / speedU : 0) * u;
    }
}
