#include "common/random.hpp"

#include <gtest/gtest.h>

TEST(Random, FollowsTheClassicRecurrence) {
    seedRandom(1);
    EXPECT_EQ(rand15(), 41);
    EXPECT_EQ(rand15(), 18467);
    EXPECT_EQ(rand15(), 6334);
}

TEST(Random, UniformCombinesTwoDrawsAndStaysBelowItsBound) {
    seedRandom(1);
    double expected = ((41 / 32768.0) + 18467) / 32768.0 * 10.0;
    EXPECT_DOUBLE_EQ(uniform(10.0), expected);
    for (int i = 0; i < 10000; i++) {
        double u = uniform(3.0);
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 3.0);
    }
}

TEST(Random, RandomBelowCoversItsRangeAndHandlesTinyBounds) {
    seedRandom(12345);
    bool seen[7] = {};
    for (int i = 0; i < 2000; i++) {
        int64_t r = randomBelow(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
        seen[r] = true;
    }
    for (bool s : seen) EXPECT_TRUE(s);
    for (int i = 0; i < 100; i++) EXPECT_EQ(randomBelow(1), 0);
    EXPECT_EQ(randomBelow(0), 0);
    EXPECT_EQ(randomBelow(-3), 0);
}

TEST(Random, AFixedSourceReplacesTheGeneratorWithoutAdvancingIt) {
    seedRandom(1);
    double draws[] = {0.25, 0.999};
    size_t next = 0;
    setUniformSource([&]() { return draws[next++]; });
    EXPECT_DOUBLE_EQ(uniform(8.0), 2.0);
    EXPECT_EQ(randomBelow(10), 9);
    setUniformSource(nullptr);
    EXPECT_EQ(rand15(), 41);  // the sequence goes on where the seed left it
}
