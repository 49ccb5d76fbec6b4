// The score of a run: the share of the beam that finished as muons, or, for
// designs that bring (almost) none to the end, a negative score that still
// ranks how near they came.
//
// Every sum runs over the particles in one canonical order, so that the
// score does not depend on where the tracking left them in the array.
#include <algorithm>
#include <vector>

#include "beamline/simulation.hpp"
#include "beamline/tracking/beam_summary.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell_geometry.hpp"

namespace {

constexpr double kFull = 0.001;   // weight from which a measure counts alone
constexpr double kNone = 0.0005;  // weight below which it does not count at all

bool isMuon(const Particle& p) {
    return p.species == MuPlus || p.species == MuMinus;
}

// `high` where w >= 0.001, `low` below 0.0005, and between them a blend
// that moves from low to high as w grows.
double blend(double w, double high, double low) {
    if (w >= kFull) return high;
    if (w < kNone) return low;
    return (high * (w - kNone) + low * (kFull - w)) / kNone;
}

// Finished and WrongEnergy muons: how far from the wanted energy the wrong
// ones were, from the ratio their aperture stored (-1 with none of either).
double wrongEnergyScore(const std::vector<const Particle*>& muons) {
    double total = 0, penalty = 0;
    for (const Particle* p : muons) {
        if (p->state != StateFinished && p->state != StateWrongEnergy) continue;
        total += p->weight;
        if (p->state != StateWrongEnergy) continue;
        if (p->nextDecay != 0 && p->nextDecay < 1) {
            penalty += p->weight * (p->nextDecay - 1);
        } else if (p->t != 0 && p->t > 1) {
            penalty += p->weight * (1 / p->t - 1);
        }
    }
    return total == 0 ? -1 : penalty / total;
}

double beamlinePosition(const Particle& p) {
    const Cell* line = particleLine(p);
    if (!line || p.elementIndex < 0 || p.elementIndex >= line->childCount()) return -1;
    const Cell& element = *line->children[static_cast<size_t>(p.elementIndex)];
    double s = 0, r = 0;
    arcPosition(element, p.position, s, r);
    return element.arcStart + s;
}

// How far the leading 0.001 of muon weight got, as a share of the line's
// length, less 2. Active muons lead by position; the inactive ones come
// before them all in the walk. Only muons count, so the walk holds only
// them (`muons`, in canonical order).
double distanceScore(const Simulation& simulation, const std::vector<const Particle*>& muons) {
    const Cell* root = simulation.root.get();
    if (!root || root->children.empty()) return -2;
    const Cell& lastElement = *root->children.back();
    double lineLength = cellNumber(lastElement, "length") + lastElement.arcStart;

    struct Placed {
        const Particle* p;
        double position;
    };
    std::vector<Placed> active, inactive;
    for (const Particle* p : muons) {
        (p->state == StateActive ? active : inactive).push_back({p, beamlinePosition(*p)});
    }
    // Ties keep the canonical order.
    std::stable_sort(active.begin(), active.end(),
                     [](const Placed& a, const Placed& b) { return a.position < b.position; });
    std::vector<Placed> walk = std::move(active);
    walk.insert(walk.end(), inactive.begin(), inactive.end());

    double weight = 0, sum = 0;
    for (size_t i = walk.size(); i-- > 0 && weight < kFull;) {
        weight += walk[i].p->weight;
        sum += walk[i].p->weight * walk[i].position;
    }
    double mean = weight > 0 ? sum / weight : 0;
    // A line of no length cannot be travelled along: nothing was gained.
    if (!(lineLength > 0)) return -2;
    return mean / lineLength - 2;
}

}  // namespace

double scoreOf(const Simulation& simulation) {
    const std::vector<const Particle*> muons = canonicalOrder(simulation.beam, isMuon);
    double finished = 0, wrongEnergy = 0;
    for (const Particle* p : muons) {
        if (p->state == StateFinished) finished += p->weight;
        if (p->state == StateWrongEnergy) wrongEnergy += p->weight;
    }
    if (finished >= kFull) return 100 * finished;
    double s3 = wrongEnergy >= kNone ? wrongEnergyScore(muons) : 0;
    double s4 = wrongEnergy < kFull ? distanceScore(simulation, muons) : 0;
    double s2 = blend(wrongEnergy, s3, s4);
    return blend(finished, 100 * finished, s2);
}
