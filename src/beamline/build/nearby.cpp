#include "beamline/build/nearby.hpp"

#include <vector>

#include "common/report.hpp"
#include "model/cell.hpp"
#include "model/cell_submap.hpp"

namespace {

void refresh(Particle& particle, std::vector<Cell*>& found) {
    subMapQuery(*particle.line, particle.position, found);
    particle.nearby = std::make_shared<const std::vector<Cell*>>(found);
}

}  // namespace

void Particle_nearbythings(Particle& particle) {
    if (!particle.line) {
        report("[WARNING] bl is NULL in Particle_nearbythings");
        return;
    }
    std::vector<Cell*> found;
    refresh(particle, found);
}

bool nearbyRefresh(Particle& particle, std::vector<Cell*>& scratch) {
    if (!particle.line) return false;
    refresh(particle, scratch);
    return true;
}

void Particle_seg_nearbythings(Particle* first, Particle* last) {
    std::vector<Cell*> found;
    for (Particle* p = first; p != last; p++) {
        if (!p->line) {
            report("[WARNING] bl is NULL in Particle_seg_nearbythings");
            continue;
        }
        refresh(*p, found);
    }
}
