#include "beamline/tracking/decay.hpp"

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"
#include "model/relativity.hpp"

namespace {

// The most products a channel of the table has; longer lists are not made.
constexpr int32_t kMaxProducts = 8;

// Index of the chosen channel. The walk starts at the last channel, so the
// rarer channels declared last take the low end of the uniform draw.
size_t chooseChannel(const SpeciesRecord& record, Particle& particle) {
    double u = particleUniform(particle);
    for (size_t c = record.channels.size(); c-- > 0;) {
        u -= record.channels[c].ratio;
        if (u <= 0) return c;
    }
    return 0;
}

void makeProduct(const Particle& parent, int32_t species, Vec3 restMomentum, double weight,
                 std::vector<Particle>& products, const Simulation& simulation, Particle& source) {
    Particle product = parent;
    product.seed = randhash_p(source.seed, static_cast<uint32_t>(source.drawCount++));
    product.drawCount = 0;
    double m = mass(species);
    Vec3 lab = momentumBoost(restMomentum, m * kSpeedOfLight, (1 / kSpeedOfLight) * parent.u);
    product.u = (1 / m) * lab;
    product.species = species;
    product.weight = weight;
    product.properTime = 0;
    product.t = 0;
    scheduleDecays(product, simulation.n_decays);
    products.push_back(std::move(product));
}

}  // namespace

void scheduleDecays(Particle& particle, int32_t n) {
    double lifetime = speciesInfo(particle.species).lifetime;
    if (lifetime == 0 || n <= 0) {
        particle.decaysLeft = 0;
        return;
    }
    particle.decaysLeft = n;
    particle.nextDecay = particle.properTime + particleExponential(particle) * lifetime / n;
}

void nextDecayTime(Particle& particle) {
    particle.decaysLeft--;
    if (particle.decaysLeft <= 0) {
        particle.decaysLeft = 0;
        particle.state = StateDecayed;
        return;
    }
    double lifetime = speciesInfo(particle.species).lifetime;
    particle.nextDecay =
        particle.properTime + particleExponential(particle) * lifetime / particle.decaysLeft;
}

void decayStep(Particle& particle, std::vector<Particle>& products, const Simulation& simulation) {
    if (particle.decaysLeft <= 0 || particle.nextDecay > particle.properTime) return;
    const SpeciesRecord& record = speciesRecord(particle.species);
    if (!record.channels.empty()) {
        const DecayChannel& channel = record.channels[chooseChannel(record, particle)];
        int32_t n = static_cast<int32_t>(channel.products.size());
        if (n > 0 && n <= kMaxProducts) {
            double masses[kMaxProducts];
            Vec3 momenta[kMaxProducts];
            for (int32_t i = 0; i < n; i++) masses[i] = mass(channel.products[i]);
            bool made = restFrameMomenta(n, mass(particle.species), masses, particle, momenta);
            // The parent as it was before any product took a key from it.
            const Particle parent = particle;
            double share = particle.weight / particle.decaysLeft;
            for (int32_t i = n; made && i-- > 0;) {
                int32_t species = channel.products[i];
                // A massless product has no proper velocity to track it with,
                // and nothing in the program scores or stops neutrinos.
                if (!speciesAllowed(simulation, species) || masses[i] == 0) continue;
                makeProduct(parent, species, momenta[i], share, products, simulation, particle);
            }
        }
    }
    nextDecayTime(particle);
    if (particle.decaysLeft > 0) {
        double k = particle.decaysLeft;
        particle.weight = particle.weight * k / (k + 1);
    }
}
