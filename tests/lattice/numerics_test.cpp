// Frames, relativistic conversions and keyed random numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "model/randhash.hpp"
#include "model/relativity.hpp"
#include "model/vec3.hpp"

namespace {

void expectNear(Vec3 a, Vec3 b, double tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// A rotation by `angle` about the unit axis (x, y, z), placed at `origin`.
Frame3 rotatedFrame(double angle, Vec3 axis, Vec3 origin) {
    double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    double x = axis.x, y = axis.y, z = axis.z;
    Frame3 f;
    f.origin = origin;
    double a[9] = {t * x * x + c,     t * x * y - s * z, t * x * z + s * y,
                   t * x * y + s * z, t * y * y + c,     t * y * z - s * x,
                   t * x * z - s * y, t * y * z + s * x, t * z * z + c};
    for (int i = 0; i < 9; i++) f.axes[i] = a[i];
    return f;
}

TEST(Frames, QuarterTurnAboutZ) {
    Frame3 f = rotatedFrame(M_PI / 2, {0, 0, 1}, {10, 20, 30});
    Vec3 p{1, 0, 0};
    frameToGlobal(f, p);
    expectNear(p, {10, 21, 30}, 1e-12);
    frameToLocal(f, p);
    expectNear(p, {1, 0, 0}, 1e-12);

    Vec3 d{1, 0, 0};
    frameRotate(f, d);  // directions turn but do not move
    expectNear(d, {0, 1, 0}, 1e-12);
    frameUnrotate(f, d);
    expectNear(d, {1, 0, 0}, 1e-12);
}

TEST(Frames, TransformsRoundTrip) {
    Vec3 axis{1, 2, 2};
    axis = (1 / norm(axis)) * axis;
    Frame3 f = rotatedFrame(0.7, axis, {-3, 4.5, 12});
    const Vec3 points[] = {{0, 0, 0}, {1, -2, 3}, {1e3, 5e-3, -7}};
    for (Vec3 start : points) {
        Vec3 p = start;
        frameToGlobal(f, p);
        frameToLocal(f, p);
        expectNear(p, start, 1e-12 * (1 + norm(start)));

        p = start;
        frameToLocal(f, p);
        frameToGlobal(f, p);
        expectNear(p, start, 1e-12 * (1 + norm(start)));

        p = start;
        frameRotate(f, p);
        EXPECT_NEAR(norm(p), norm(start), 1e-12 * (1 + norm(start)));
        frameUnrotate(f, p);
        expectNear(p, start, 1e-12 * (1 + norm(start)));
    }
}

TEST(Relativity, ConversionsAgree) {
    double gamma = 3.5;
    double beta = betaFromGamma(gamma);
    double v = beta * kSpeedOfLight;
    EXPECT_NEAR(gammaFromVelocity2(v * v), gamma, 1e-12);
    double u = properSpeedFromGamma(gamma);  // gamma * v
    EXPECT_NEAR(u, gamma * v, 1e-6);
    EXPECT_NEAR(gammaFromProperVelocity2(u * u), gamma, 1e-12);
    EXPECT_NEAR(invGammaFromProperVelocity2(u * u), 1 / gamma, 1e-12);
    EXPECT_NEAR(speedFromProperSpeed(u), v, 1e-6);
    EXPECT_DOUBLE_EQ(kSpeedOfLight * kSpeedOfLight, kSpeedOfLight2);
}

TEST(Relativity, BoostWithZeroVelocityKeepsMomentum) {
    Vec3 p{0.3, -1.25, 7};
    Vec3 boosted = momentumBoost(p, 0.105, {0, 0, 0});
    EXPECT_EQ(boosted.x, p.x);
    EXPECT_EQ(boosted.y, p.y);
    EXPECT_EQ(boosted.z, p.z);
}

TEST(Relativity, BoostOfParticleAtRestAndInvariantMass) {
    const double m = 0.1396;
    Vec3 u{0.2, -0.5, 1.5};
    // At rest, the boosted momentum is m times the four-velocity.
    expectNear(momentumBoost({0, 0, 0}, m, u), m * u, 1e-15);

    // The mass shell is kept: E'^2 - p'^2 = m^2 with E' = gamma E + u.p.
    Vec3 p{0.05, 0.3, -0.2};
    Vec3 q = momentumBoost(p, m, u);
    double energy = std::sqrt(m * m + norm2(p));
    double boostedEnergy = std::sqrt(1 + norm2(u)) * energy + dot(u, p);
    EXPECT_NEAR(boostedEnergy * boostedEnergy - norm2(q), m * m, 1e-12);
}

// Values from an independent implementation of the mixing steps that masks
// every intermediate to 32 bits.
TEST(KeyedRandom, KnownValuesWithWrappingArithmetic) {
    struct Case {
        uint32_t a, b, p, q;
    };
    const Case cases[] = {
        {0, 0, 3062426862u, 2929700744u},
        {1, 2, 1922263483u, 3553879675u},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 2829288647u, 4259864611u},
        {123456789u, 987654321u, 3010013657u, 3043037554u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(randhash_p(c.a, c.b), c.p) << c.a << "," << c.b;
        EXPECT_EQ(randhash_q(c.a, c.b), c.q) << c.a << "," << c.b;
    }
    EXPECT_DOUBLE_EQ(randuniform(1, 2), 0.4475618442118755);
}

TEST(KeyedRandom, RangesAndDeterminism) {
    double sum = 0;
    const int n = 20000;
    for (uint32_t i = 0; i < n; i++) {
        double u = randuniform(7, i);
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_LT(randint(10, 7, i), 10u);
        ASSERT_EQ(randint(1, 7, i), 0u);
        ASSERT_EQ(randint(0xFFFFFFFFu, 7, i), randint(0xFFFFFFFFu, 7, i));
        sum += u;
    }
    EXPECT_NEAR(sum / n, 0.5, 0.01);
    EXPECT_EQ(randint(0, 3, 4), 0u);
}

TEST(KeyedRandom, ExponentialTailIsRedrawn) {
    const double bound = 0.006737946999085467;  // e^-5
    int tails = 0;
    double sum = 0;
    const uint32_t n = 200000;
    for (uint32_t b = 0; b < n; b++) {
        double u = randuniform(0, b);
        double x = randexp(0, b);
        sum += x;
        if (u >= bound) {
            // Never the log of anything below e^-5, so never more than 5 here.
            ASSERT_EQ(x, -std::log(u));
            ASSERT_LE(x, 5.0);
        } else {
            tails++;
            uint32_t k = randint(100000000u, 0, b + 1);
            ASSERT_EQ(x, 5 + randexp(0, b + 1 + k)) << b;
            ASSERT_GE(x, 5.0);
        }
    }
    // About e^-5 of the draws, and a mean of 1.
    EXPECT_NEAR(static_cast<double>(tails) / n, bound, 0.001);
    EXPECT_NEAR(sum / n, 1.0, 0.01);
    // Key (0, 240) draws u = 0.0029: its value comes from the redrawn tail.
    EXPECT_LT(randuniform(0, 240), bound);
    EXPECT_GE(randexp(0, 240), 5.0);
}

}  // namespace
