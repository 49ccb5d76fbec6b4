#include "model/randhash.hpp"

#include <cmath>

namespace {

struct HashPair {
    uint32_t p, q;
};

HashPair mix(uint32_t a, uint32_t b) {
    uint32_t p = a + 0x01234567u;
    uint32_t q = b + 0x89ABCDEFu;
    for (int step = 0; step < 10; step++) {
        p = p * q;
        q = q * p;
        p = p + (q >> 16);
        q = q + (p >> 16);
        if (step < 9) {
            p += a;
            q += b;
        }
    }
    return {p, q};
}

constexpr double kTwoToMinus32 = 1.0 / 4294967296.0;
constexpr double kExpMinus5 = 0.006737946999085467;

}  // namespace

uint32_t randhash_p(uint32_t a, uint32_t b) {
    return mix(a, b).p;
}
uint32_t randhash_q(uint32_t a, uint32_t b) {
    return mix(a, b).q;
}

double randuniform(uint32_t a, uint32_t b) {
    HashPair h = mix(a, b);
    long double u =
        (static_cast<long double>(h.p) + static_cast<long double>(h.q) * kTwoToMinus32) *
        kTwoToMinus32;
    // Rounding to double can reach 1.0 for the largest P; keep the interval open.
    double d = static_cast<double>(u);
    return d < 1.0 ? d : 0.99999999999999989;
}

uint32_t randint(uint32_t n, uint32_t a, uint32_t b) {
    return static_cast<uint32_t>(std::floor(randuniform(a, b) * static_cast<double>(n)));
}

double randexp(uint32_t a, uint32_t b) {
    // The tail beyond 5 is redrawn from a fresh key instead of taking the log
    // of a tiny number, whose few significant bits would bunch the tail. The
    // sum is built innermost first, 5 + (5 + (... - ln u)), so that it rounds
    // exactly as the recursive definition does.
    int tails = 0;
    double u = randuniform(a, b);
    while (u < kExpMinus5 && tails < 1000) {
        uint32_t k = randint(100000000u, a, b + 1);
        b = b + 1 + k;
        tails++;
        u = randuniform(a, b);
    }
    double x = u < kExpMinus5 ? 0 : -std::log(u);
    for (int i = 0; i < tails; i++) x = 5 + x;
    return x;
}
