#include "beamline/components/source_common.hpp"

#include <cmath>
#include <numbers>

#include "beamline/simulation.hpp"
#include "common/text.hpp"
#include "model/randhash.hpp"
#include "model/relativity.hpp"

namespace {

// A lattice's count attribute as a whole number of copies, 1 for 0; -1 for
// a count that is negative or too large to mean anything.
int64_t copyCount(double value) {
    if (!std::isfinite(value) || value < 0 || value >= 2147483648.0) return -1;
    int64_t n = static_cast<int64_t>(value);
    return n == 0 ? 1 : n;
}

}  // namespace

bool sourceCopies(double timespread, double axial, int64_t lines, SourceCopies& copies,
                  std::string& error) {
    int64_t a = copyCount(timespread);
    int64_t b = copyCount(axial);
    if (a < 0 || b < 0) {
        error = "the timespread and axial counts must be whole numbers from 0";
        return false;
    }
    int64_t total = a * b;
    if (total * lines > kMaxSourceParticles || total > kMaxSourceParticles) {
        error = format("%lld lines times %lld copies is more than %lld particles",
                       static_cast<long long>(lines), static_cast<long long>(total),
                       static_cast<long long>(kMaxSourceParticles));
        return false;
    }
    int64_t step = 1;
    while (step < 1000000000 && step * 10 < 10 * total) step *= 10;
    // The identifier of the last copy of the last line must stay a 32-bit
    // number, as particle ids are.
    if ((lines + 1) * step + total - 1 > INT32_MAX) {
        error = format("%lld lines with %lld copies would need identifiers beyond 32 bits",
                       static_cast<long long>(lines), static_cast<long long>(total));
        return false;
    }
    copies.timeCopies = static_cast<int32_t>(a);
    copies.axialCopies = static_cast<int32_t>(b);
    copies.total = static_cast<int32_t>(total);
    copies.idStep = static_cast<int32_t>(step);
    return true;
}

int64_t sourceLinesToRead(int64_t counted, int32_t particleDivisor) {
    return counted / (particleDivisor < 1 ? 1 : particleDivisor);
}

double randgauss(uint32_t a, uint32_t b) {
    double u1 = randuniform(a, b & ~1u);
    double u2 = randuniform(a, b | 1u);
    double r = std::sqrt(2 * std::fabs(std::log(u1 + 1e-20)));
    double angle = 2 * std::numbers::pi * u2;
    return r * ((b & 1u) ? std::sin(angle) : std::cos(angle));
}

double SourceDraws::uniform() {
    return randuniform(key, counter++);
}
double SourceDraws::gauss() {
    return randgauss(key, counter++);
}

SourceDraws sourceDraws(const Simulation& simulation, const Cell& source, uint32_t multiplier) {
    int32_t index = simulation.root ? indexOfChild(*simulation.root, &source) : -1;
    return {simulation.effectiveSeed, static_cast<uint32_t>(index) * multiplier};
}

Vec3 sourceProperVelocity(double kinetic, double rest, Vec3 direction) {
    double tau = kinetic / rest;
    double gammaBeta = std::sqrt((tau + 2) * tau);
    return (kSpeedOfLight * gammaBeta) * direction;
}

void rotateRandomlyAboutBeamAxis(Vec3& position, Vec3& direction, SourceDraws& draws) {
    double theta = 2 * std::numbers::pi * draws.uniform();
    double c = std::cos(theta), s = std::sin(theta);
    for (Vec3* v : {&position, &direction}) {
        double x = v->x * c + v->y * s;
        v->y = v->y * c - v->x * s;
        v->x = x;
    }
}
