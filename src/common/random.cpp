#include "common/random.hpp"

#include <cmath>
#include <utility>

namespace {
uint32_t randomState = 1;
UniformSource uniformSource;
}  // namespace

void seedRandom(uint32_t seed) {
    randomState = seed;
}

int rand15() {
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int>((randomState >> 16) & 0x7fffu);
}

void setUniformSource(UniformSource source) {
    uniformSource = std::move(source);
}

double uniform(double x) {
    if (uniformSource) return uniformSource() * x;
    double r1 = rand15();
    double r2 = rand15();
    return ((r1 / 32768.0) + r2) / 32768.0 * x;
}

int64_t randomBelow(int64_t n) {
    double r = std::floor(uniform(static_cast<double>(n)));
    if (r < static_cast<double>(n)) return static_cast<int64_t>(r);
    return n - 1 < 0 ? 0 : n - 1;
}
