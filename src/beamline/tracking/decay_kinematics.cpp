// Decay kinematics in the parent's rest frame, in units where c = 1 (masses
// and momenta both in kg) until the end.
//
// Products 2.. are drawn one by one from a proposal density that is uniform
// in the ball |p| < m and falls as 1/|p| beyond it, up to |p| = M; products 0
// and 1 then share what is left as a two-body decay of the remainder. The
// accept-reject weight turns the proposal into the invariant phase-space
// density d3p/E of every product.
#include <algorithm>
#include <cmath>

#include "beamline/tracking/decay.hpp"
#include "model/relativity.hpp"

namespace {

// Without this bound a decay whose acceptance is tiny could hold up a thread
// for ever; it is far above what any channel of the table needs.
constexpr int kMaxAttempts = 1000000;

Vec3 pointInUnitBall(Particle& particle) {
    for (;;) {
        Vec3 v{2 * particleUniform(particle) - 1, 2 * particleUniform(particle) - 1,
               2 * particleUniform(particle) - 1};
        // The centre has no direction.
        if (norm2(v) <= 1 && norm2(v) > 0) return v;
    }
}

Vec3 unitDirection(Particle& particle) {
    Vec3 v = pointInUnitBall(particle);
    return (1 / norm(v)) * v;
}

// The momentum of either product of a two-body decay of mass W, or -1 when
// the split is impossible.
double twoBodyMomentum(double W, double m0, double m1) {
    double e0 = (m0 * m0 + W * W - m1 * m1) / (2 * W);
    double q2 = e0 * e0 - m0 * m0;
    if (q2 < 0 || q2 > W * W - m0 * m0) return -1;
    return std::sqrt(q2);
}

}  // namespace

bool restFrameMomenta(int32_t n, double M, const double* masses, Particle& particle,
                      Vec3* momenta) {
    if (n < 1) return true;
    if (n == 1) {
        // Not a decay the tables declare; the product takes the parent's place.
        momenta[0] = {};
        return masses[0] <= M;
    }
    double massSum = 0;
    for (int32_t i = 0; i < n; i++) massSum += masses[i];
    if (massSum > M) return false;
    double m0 = masses[0], m1 = masses[1];

    if (n == 2) {
        Vec3 direction = unitDirection(particle);
        double q = twoBodyMomentum(M, m0, m1);
        if (q < 0) return false;
        momenta[0] = (q * kSpeedOfLight) * direction;
        momenta[1] = -1 * momenta[0];
        return true;
    }

    for (int attempt = 0; attempt < kMaxAttempts; attempt++) {
        double E = M;
        Vec3 P;
        Vec3 direction;
        for (int32_t i = n; i-- > 0;) {
            if (i == 1) continue;
            Vec3 v = pointInUnitBall(particle);
            if (i == 0) {
                direction = (1 / norm(v)) * v;
                continue;
            }
            double m = masses[i];
            if (particleUniform(particle) >= 2 * m * m / (3 * M * M - m * m)) {
                double r = particleUniform(particle) * (M * M - m * m);
                v = (std::sqrt(r + m * m) / norm(v)) * v;
            } else {
                v = m * v;
            }
            momenta[i] = v;
            E -= std::sqrt(m * m + norm2(v));
            P = P + v;
        }
        double W2 = E * E - norm2(P);
        if (E < 0 || W2 < 0) continue;
        double W = std::sqrt(W2);
        if (W < m0 + m1) continue;
        double q = twoBodyMomentum(W, m0, m1);
        if (q < 0) continue;
        double w = 2 * q / (std::sqrt(m0 * m0 + q * q) + std::sqrt(m1 * m1 + q * q));
        // The remainder moves with -P, so boosting its products by its
        // four-velocity brings the momentum sum to zero.
        Vec3 remainder = (-1 / W) * P;
        momenta[0] = momentumBoost(q * direction, m0, remainder);
        momenta[1] = momentumBoost(-q * direction, m1, remainder);
        for (int32_t i = 2; i < n; i++) {
            double m = masses[i], p = norm(momenta[i]);
            w *= std::max(m, p) / std::sqrt(m * m + p * p);
        }
        if (particleUniform(particle) > w) continue;
        for (int32_t i = 0; i < n; i++) momenta[i] = kSpeedOfLight * momenta[i];
        return true;
    }
    return false;
}
