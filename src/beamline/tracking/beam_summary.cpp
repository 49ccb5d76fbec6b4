#include "beamline/tracking/beam_summary.hpp"

#include <algorithm>
#include <compare>
#include <map>

#include "beamline/species.hpp"
#include "common/text.hpp"

namespace {

// IEEE total order, so that even NaNs sort the same way every time.
std::strong_ordering compareNumbers(const Particle& a, const Particle& b) {
    const double av[] = {a.weight, a.position.x, a.position.y, a.position.z, a.u.x,
                         a.u.y,    a.u.z,        a.t,          a.properTime};
    const double bv[] = {b.weight, b.position.x, b.position.y, b.position.z, b.u.x,
                         b.u.y,    b.u.z,        b.t,          b.properTime};
    for (size_t i = 0; i < std::size(av); i++) {
        std::strong_ordering o = std::strong_order(av[i], bv[i]);
        if (o != 0) return o;
    }
    return std::strong_ordering::equal;
}

bool canonicalLess(const Particle* a, const Particle* b) {
    if (a->id != b->id) return a->id < b->id;
    if (a->species != b->species) return a->species < b->species;
    if (a->state != b->state) return a->state < b->state;
    return compareNumbers(*a, *b) < 0;
}

std::string speciesLabel(int32_t species) {
    if (species >= 0 && species < kSpeciesCount) return speciesInfo(species).name;
    return format("%d", species);
}

}  // namespace

std::vector<const Particle*> canonicalOrder(const Beam& beam, bool (*keep)(const Particle&)) {
    std::vector<const Particle*> order;
    for (const Particle& p : beam.particles) {
        if (keep(p)) order.push_back(&p);
    }
    std::sort(order.begin(), order.end(), canonicalLess);
    return order;
}

void canonicalWalk(const Beam& beam, const std::function<void(const Particle&)>& visit) {
    // The id comes first in the order, so the beam is walked one id range at
    // a time, each sorted alone: the order held is that of one range, not of
    // the whole beam. The ranges hold about equal shares of the particles,
    // from a sample of the ids (particles of one id stay in one range).
    constexpr size_t kRanges = 16, kSampleStep = 16;
    const std::vector<Particle>& all = beam.particles;
    std::vector<int32_t> bounds;  // range r: ids from bounds[r - 1] up to bounds[r]
    {
        std::vector<int32_t> sample;
        for (size_t i = 0; i < all.size(); i += kSampleStep) sample.push_back(all[i].id);
        std::sort(sample.begin(), sample.end());
        for (size_t r = 1; r < kRanges && !sample.empty(); r++) {
            int32_t bound = sample[r * sample.size() / kRanges];
            if (bounds.empty() || bound > bounds.back()) bounds.push_back(bound);
        }
    }
    std::vector<uint32_t> order;
    for (size_t r = 0; r <= bounds.size(); r++) {
        order.clear();
        for (size_t i = 0; i < all.size(); i++) {
            const int32_t id = all[i].id;
            if ((r == 0 || id >= bounds[r - 1]) && (r == bounds.size() || id < bounds[r])) {
                order.push_back(static_cast<uint32_t>(i));
            }
        }
        std::sort(order.begin(), order.end(),
                  [&all](uint32_t a, uint32_t b) { return canonicalLess(&all[a], &all[b]); });
        for (uint32_t i : order) visit(all[i]);
    }
}

std::vector<StateTotal> beamStateTotals(const Beam& beam) {
    std::map<int32_t, StateTotal> totals;
    canonicalWalk(beam, [&totals](const Particle& p) {
        StateTotal& total = totals[p.state];
        total.state = p.state;
        total.count++;
        total.weight += p.weight;
    });
    std::vector<StateTotal> out;
    for (const auto& entry : totals) out.push_back(entry.second);
    return out;
}

std::string stateLabel(int32_t state) {
    const char* name = stateName(state);
    return *name ? std::string(name) : format("%d", state);
}

void beamDumpCsv(const Beam& beam, const std::function<void(std::string_view)>& write) {
    write(std::string(kBeamDumpHeader) + "\n");
    canonicalWalk(beam, [&write](const Particle& p) {
        write(format("%d,%s,%s,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n", p.id,
                     speciesLabel(p.species).c_str(), stateLabel(p.state).c_str(), p.weight,
                     p.position.x, p.position.y, p.position.z, p.u.x, p.u.y, p.u.z, p.t,
                     p.properTime));
    });
}

std::string beamDumpCsv(const Beam& beam) {
    std::string out;
    beamDumpCsv(beam, [&out](std::string_view line) { out += line; });
    return out;
}
