#include "run/envelope.hpp"

#include <cmath>
#include <limits>

#include "common/text.hpp"
#include "model/relativity.hpp"

namespace {

// A particle in the axes of the beamline where it is: arclength s,
// transverse offsets x (in the bend plane) and y, and its proper velocity
// with z along the beamline.
struct LineState {
    double s = 0, x = 0, y = 0;
    Vec3 u;
};

LineState lineState(const ElementGeometry& g, double arcStart, const Particle& p) {
    Vec3 local = p.position;
    frameToLocal(g.entryFrame, local);
    Vec3 u = p.u;
    frameUnrotate(g.entryFrame, u);
    LineState st;
    st.y = local.y;
    if (g.angle == 0) {
        st.s = arcStart + local.z;
        st.x = local.x;
        st.u = u;
        return st;
    }
    // Bends curve towards -x about a centre at x = -R in the entry frame (as
    // arcPositionIn has it); the plane through the particle and the centre
    // is the sample plane's orientation there.
    double radius = g.length / g.angle;
    double xr = local.x + radius;
    double rho = std::sqrt(xr * xr + local.z * local.z);
    if (radius > 0) {
        double phi = std::atan2(local.z, xr);
        st.s = arcStart + radius * phi;
        st.x = rho - radius;
        st.u = {u.x * std::cos(phi) + u.z * std::sin(phi), u.y,
                -u.x * std::sin(phi) + u.z * std::cos(phi)};
    } else {
        double phi = std::atan2(local.z, -xr);
        st.s = arcStart - radius * phi;
        st.x = -radius - rho;
        st.u = {u.x * std::cos(phi) - u.z * std::sin(phi), u.y,
                u.x * std::sin(phi) + u.z * std::cos(phi)};
    }
    return st;
}

void addAt(EnvelopePlane& plane, const Particle& p, const LineState& st, double dt) {
    double x = st.x, y = st.y;
    // The particle crossed the plane during the last step: carry it back
    // along its velocity to the plane. One it was never near (it was made
    // beyond the plane) is counted as it is.
    double gamma = gammaFromProperVelocity2(norm2(st.u));
    double vs = st.u.z / gamma;
    double back = st.s - plane.s;
    if (vs > 0 && back <= vs * dt * (1 + 1e-9)) {
        double tau = back / vs;
        x -= st.u.x / gamma * tau;
        y -= st.u.y / gamma * tau;
    }
    double w = p.weight;
    double gx = st.u.x / kSpeedOfLight, gy = st.u.y / kSpeedOfLight;
    double momentum = mass(p.species) * norm(st.u) * kSpeedOfLight / (kElectronVolt * 1e6);
    plane.weight[static_cast<size_t>(p.species)] += w;
    plane.total += w;
    plane.x += w * x;
    plane.xx += w * x * x;
    plane.y += w * y;
    plane.yy += w * y * y;
    plane.gx += w * gx;
    plane.gxgx += w * gx * gx;
    plane.gy += w * gy;
    plane.gygy += w * gy * gy;
    plane.xgx += w * x * gx;
    plane.ygy += w * y * gy;
    plane.p += w * momentum;
}

double lineLength(const EnvelopeRecorder& r) {
    if (r.line.elements.empty()) return 0;
    return r.arcStart.back() + r.line.elements.back().length;
}

// Centred second moment from weighted sums.
double spread(double sum, double sum2, double w) {
    double mean = sum / w;
    return std::fmax(0.0, sum2 / w - mean * mean);
}

double emittance(double sx, double sxx, double sg, double sgg, double sxg, double w) {
    double cov = sxg / w - (sx / w) * (sg / w);
    return std::sqrt(std::fmax(0.0, spread(sx, sxx, w) * spread(sg, sgg, w) - cov * cov));
}

}  // namespace

static_assert(kMaxEnvelopePlanes < (size_t{1} << 23),
              "plane counts must fit the particle's 24 bits");

bool envelopeStart(EnvelopeRecorder& recorder, Simulation& simulation) {
    recorder.planes.clear();
    recorder.arcStart.clear();
    const Cell* root = simulation.root.get();
    if (!root || root->children.empty() || !(recorder.every > 0)) return false;
    prepareLine(recorder.line, root);
    for (const CellPtr& child : root->children) recorder.arcStart.push_back(child->arcStart);
    double length = lineLength(recorder);
    double count = std::floor(length / recorder.every + 1e-9) + 1;
    if (!(count >= 1) || count > static_cast<double>(kMaxEnvelopePlanes)) return false;
    recorder.planes.resize(static_cast<size_t>(count));
    for (size_t k = 0; k < recorder.planes.size(); k++) {
        recorder.planes[k].s = static_cast<double>(k) * recorder.every;
    }
    recorder.initialWeight = 0;
    for (Particle& p : simulation.beam.particles) {
        recorder.initialWeight += p.weight;
        p.planesCounted = 0;
    }
    envelopeRecord(recorder, simulation);
    return true;
}

void envelopeRecord(EnvelopeRecorder& recorder, Simulation& simulation) {
    const Cell* root = simulation.root.get();
    const int32_t planeCount = static_cast<int32_t>(recorder.planes.size());
    if (!root || planeCount == 0) return;
    prepareLine(recorder.line, root);
    for (size_t i = 0; i < simulation.beam.particles.size(); i++) {
        Particle& p = simulation.beam.particles[i];
        if (p.planesCounted >= planeCount) continue;
        if (particleLine(p) != root || p.elementIndex < 0 ||
            static_cast<size_t>(p.elementIndex) >= recorder.line.elements.size() || p.species < 0 ||
            p.species >= kSpeciesCount) {
            continue;
        }
        size_t e = static_cast<size_t>(p.elementIndex);
        LineState st = lineState(recorder.line.elements[e], recorder.arcStart[e], p);
        double reached = st.s >= 0 ? std::floor(st.s / recorder.every + 1e-9) + 1 : 0;
        int32_t passed = reached >= planeCount ? planeCount : static_cast<int32_t>(reached);
        for (int32_t k = p.planesCounted; k < passed; k++) {
            addAt(recorder.planes[static_cast<size_t>(k)], p, st, simulation.dt);
        }
        if (passed > p.planesCounted) p.planesCounted = passed;
        // A particle that stopped never moves again; its count is final.
        if (p.state != StateActive) p.planesCounted = planeCount;
    }
}

EnvelopeRow envelopeRow(const EnvelopeRecorder& recorder, const EnvelopePlane& plane) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EnvelopeRow row;
    row.s = plane.s;
    double initial = recorder.initialWeight > 0 ? recorder.initialWeight : nan;
    row.transmission = plane.total / initial;
    for (size_t k = 0; k < plane.weight.size(); k++) row.bySpecies[k] = plane.weight[k] / initial;
    double w = plane.total;
    if (!(w > 0)) {
        row.xRms = row.yRms = row.enx = row.eny = row.pMean = nan;
        return row;
    }
    row.xRms = 1e3 * std::sqrt(spread(plane.x, plane.xx, w));
    row.yRms = 1e3 * std::sqrt(spread(plane.y, plane.yy, w));
    row.enx = 1e3 * emittance(plane.x, plane.xx, plane.gx, plane.gxgx, plane.xgx, w);
    row.eny = 1e3 * emittance(plane.y, plane.yy, plane.gy, plane.gygy, plane.ygy, w);
    row.pMean = plane.p / w;
    return row;
}

std::string envelopeCsv(const EnvelopeRecorder& recorder) {
    std::vector<size_t> seen;
    for (size_t k = 0; k < static_cast<size_t>(kSpeciesCount); k++) {
        for (const EnvelopePlane& plane : recorder.planes) {
            if (plane.weight[k] > 0) {
                seen.push_back(k);
                break;
            }
        }
    }
    std::string out = "s_m,transmission";
    for (size_t k : seen) out += std::string(",transmission_") + speciesInfo(int32_t(k)).name;
    out += ",x_rms_mm,y_rms_mm,enx_mm,eny_mm,p_mean_MeV\n";
    for (const EnvelopePlane& plane : recorder.planes) {
        EnvelopeRow row = envelopeRow(recorder, plane);
        out += format("%.6g,%.6g", row.s, row.transmission);
        for (size_t k : seen) out += format(",%.6g", row.bySpecies[k]);
        out +=
            format(",%.6g,%.6g,%.6g,%.6g,%.6g\n", row.xRms, row.yRms, row.enx, row.eny, row.pMean);
    }
    return out;
}
