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

std::vector<const Particle*> canonicalOrder(const Beam& beam) {
    std::vector<const Particle*> order;
    order.reserve(beam.particles.size());
    for (const Particle& p : beam.particles) order.push_back(&p);
    std::sort(order.begin(), order.end(), canonicalLess);
    return order;
}

std::vector<const Particle*> canonicalOrder(const Beam& beam, bool (*keep)(const Particle&)) {
    std::vector<const Particle*> order;
    for (const Particle& p : beam.particles) {
        if (keep(p)) order.push_back(&p);
    }
    std::sort(order.begin(), order.end(), canonicalLess);
    return order;
}

std::vector<StateTotal> beamStateTotals(const Beam& beam) {
    std::map<int32_t, StateTotal> totals;
    for (const Particle& p : beam.particles) {
        StateTotal& total = totals[p.state];
        total.state = p.state;
        total.count++;
    }
    // Each state's weight is summed over its own particles in canonical
    // order, which is the order they have among all the particles: the
    // sums are those of one walk over the whole beam, and the order held at
    // any time is that of the largest state, in four bytes a particle.
    const std::vector<Particle>& all = beam.particles;
    std::vector<uint32_t> order;
    for (auto& [state, total] : totals) {
        order.clear();
        order.reserve(static_cast<size_t>(total.count));
        for (size_t i = 0; i < all.size(); i++) {
            if (all[i].state == state) order.push_back(static_cast<uint32_t>(i));
        }
        std::sort(order.begin(), order.end(),
                  [&all](uint32_t a, uint32_t b) { return canonicalLess(&all[a], &all[b]); });
        for (uint32_t i : order) total.weight += all[i].weight;
    }
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
    for (const Particle* p : canonicalOrder(beam)) {
        write(format("%d,%s,%s,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n", p->id,
                     speciesLabel(p->species).c_str(), stateLabel(p->state).c_str(), p->weight,
                     p->position.x, p->position.y, p->position.z, p->u.x, p->u.y, p->u.z, p->t,
                     p->properTime));
    }
}

std::string beamDumpCsv(const Beam& beam) {
    std::string out;
    beamDumpCsv(beam, [&out](std::string_view line) { out += line; });
    return out;
}
