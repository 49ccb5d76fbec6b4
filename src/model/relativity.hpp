// Relativistic conversions. Velocity-like vectors enter as their squared
// length; proper velocity u is gamma times the velocity.
#pragma once

#include <cmath>

#include "model/vec3.hpp"

inline constexpr double kSpeedOfLight = 299792458.0;
inline constexpr double kSpeedOfLight2 = 8.987551787368176e16;
inline constexpr double kInvSpeedOfLight2 = 1.1126500560536185e-17;

inline double betaFromGamma(double gamma) {
    return std::sqrt(1 - 1 / (gamma * gamma));
}
inline double gammaFromVelocity2(double v2) {
    return 1 / std::sqrt(1 - v2 * kInvSpeedOfLight2);
}
inline double properSpeedFromGamma(double gamma) {
    return kSpeedOfLight * std::sqrt(gamma * gamma - 1);
}
inline double gammaFromProperVelocity2(double u2) {
    return std::sqrt(kSpeedOfLight2 + u2) / kSpeedOfLight;
}
inline double invGammaFromProperVelocity2(double u2) {
    return kSpeedOfLight / std::sqrt(kSpeedOfLight2 + u2);
}
inline double speedFromProperSpeed(double u) {
    return 1 / std::sqrt(1 / (u * u) + kInvSpeedOfLight2);
}

// Momentum p of a particle of mass m (units with c = 1) seen from a frame
// moving with dimensionless four-velocity u = gamma*beta.
inline Vec3 momentumBoost(Vec3 p, double m, Vec3 u) {
    double u2 = norm2(u);
    double gamma = std::sqrt(1 + u2);
    double energy = std::sqrt(m * m + norm2(p));
    double divisor = u2 == 0 ? 1 : u2;
    return p + ((gamma - 1) * dot(u, p) / divisor + energy) * u;
}
