// Moments apertures: a circular plate (radius 1 m unless given) that adds
// every particle crossing it inside its energy window to weighted beam sums,
// so that lattice authors can follow the beam along the channel.
#include <atomic>
#include <cmath>

#include "beamline/components/aperture.hpp"
#include "common/text.hpp"
#include "model/cell_geometry.hpp"
#include "model/relativity.hpp"

namespace {

constexpr double kMeV = 1.602176462e-13;

void addTo(double& sum, double value) {
    // Several tracking threads add to one aperture's sums.
    std::atomic_ref<double>(sum).fetch_add(value, std::memory_order_relaxed);
}

void collect(const Cell& cell, std::vector<MomentsSummary>& out) {
    if (cell.kind == Composite) {
        for (const CellPtr& child : cell.children) {
            if (child) collect(*child, out);
        }
        return;
    }
    if (cell.kind != Machine || !equalNoCase(cell.typeName, "moments-aperture")) return;
    const auto& d = runDataAs<ApertureData>(cell.runData);
    if (d.kind != ApertureMoments) return;
    MomentsSummary m;
    m.name = cell.name;
    double s = 0, r = 0;
    arcPosition(cell, d.frame.origin, s, r);
    m.s = cell.arcStart + s;
    const double* sums = d.sums;
    m.weight = sums[SumWeight];
    if (m.weight > 0) {
        // x, y and E are quantities 0, 1 and 4 of the sums.
        const int quantity[3] = {0, 1, 4};
        for (int k = 0; k < 3; k++) {
            double mean = sums[SumFirst + quantity[k]] / m.weight;
            double second = sums[SumSecond + quantity[k]] / m.weight;
            m.mean[k] = mean;
            m.rms[k] = std::sqrt(std::fmax(0.0, second - mean * mean));
        }
        // sqrt(<x^2><gbx^2> - <x gbx>^2) about the means, from the
        // correlation sums; in metres, shown in mm.
        const int position[2] = {0, 1}, angle[2] = {2, 3}, correlation[2] = {SumXGbx, SumYGby};
        for (int k = 0; k < 2; k++) {
            double mx = sums[SumFirst + position[k]] / m.weight;
            double mg = sums[SumFirst + angle[k]] / m.weight;
            double vx = sums[SumSecond + position[k]] / m.weight - mx * mx;
            double vg = sums[SumSecond + angle[k]] / m.weight - mg * mg;
            double cov = sums[correlation[k]] / m.weight - mx * mg;
            m.emittance[k] = 1e3 * std::sqrt(std::fmax(0.0, vx * vg - cov * cov));
        }
    }
    out.push_back(m);
}

}  // namespace

void momentsInit(ApertureData& d, const Cell& cell) {
    circularInit(d, cell, 1);
    for (double& s : d.sums) s = 0;
}

void momentsAdd(ApertureData& d, Vec3 local, Vec3 uLocal, double kineticJ, double t,
                double weight) {
    const double q[kMomentQuantities] = {
        local.x, local.y, uLocal.x / kSpeedOfLight, uLocal.y / kSpeedOfLight, kineticJ / kMeV, t};
    addTo(d.sums[SumWeight], weight);
    for (int k = 0; k < kMomentQuantities; k++) {
        addTo(d.sums[SumFirst + k], weight * q[k]);
        addTo(d.sums[SumSecond + k], weight * q[k] * q[k]);
    }
    addTo(d.sums[SumXGbx], weight * q[0] * q[2]);
    addTo(d.sums[SumYGby], weight * q[1] * q[3]);
}

std::vector<MomentsSummary> momentsSummaries(const Cell& root) {
    std::vector<MomentsSummary> out;
    collect(root, out);
    return out;
}

std::string momentsLine(const MomentsSummary& m) {
    return format(
        "moments %s s=%.6g weight=%.6g x=%.4g±%.4g y=%.4g±%.4g E=%.6g±%.4g MeV enx=%.4g eny=%.4g "
        "mm",
        m.name.c_str(), m.s, m.weight, m.mean[0], m.rms[0], m.mean[1], m.rms[1], m.mean[2],
        m.rms[2], m.emittance[0], m.emittance[1]);
}
