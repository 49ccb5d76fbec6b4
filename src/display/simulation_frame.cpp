#include "display/simulation_frame.hpp"

#include "beamline/simulation.hpp"
#include "beamline/species.hpp"

namespace {

const char* speciesNameOf(int32_t species) {
    return species >= 0 && species < kSpeciesCount ? speciesInfo(species).name : nullptr;
}

}  // namespace

DisplayFrame displayFrameOf(const Simulation& simulation, std::vector<DisplayParticle>& storage) {
    const std::vector<Particle>& particles = simulation.beam.particles;
    storage.resize(particles.size());
    for (size_t i = 0; i < particles.size(); i++) {
        const Particle& p = particles[i];
        DisplayParticle& d = storage[i];
        d.position = p.position;
        d.u = p.u;
        d.weight = p.weight;
        d.species = p.species;
        d.state = p.state;
        d.id = p.id;
        bool known = p.species >= 0 && p.species < kSpeciesCount;
        d.charge = known ? speciesInfo(p.species).charge : 0;
        d.kineticMeV = known ? kineticEnergy(p) / kElectronVolt * 1e-6 : 0;
    }
    DisplayFrame frame;
    frame.root = simulation.root.get();
    if (frame.root) frame.latticeName = frame.root->name;
    frame.time = simulation.time;
    frame.tMax = simulation.t_max;
    frame.work = simulation.work;
    frame.activeCount = static_cast<int32_t>(simulation.beam.activeEnd);
    frame.slotCount = static_cast<int32_t>(particles.size());
    frame.particles = storage;
    frame.speciesName = speciesNameOf;
    return frame;
}
