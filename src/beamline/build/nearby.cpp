#include "beamline/build/nearby.hpp"

#include <vector>

#include "common/report.hpp"
#include "model/cell.hpp"
#include "model/cell_submap.hpp"

namespace {

// Neighbouring particles find the same components, and every particle that
// finds a list is given the one entry of that list on its line: one copy in
// memory instead of one per particle, and particles with one list can be
// pushed in one batch.
void refresh(Particle& particle, Cell& line, const std::vector<Cell*>* held,
             std::vector<Cell*>& found) {
    subMapQuery(line, particle.position, found);
    if (held && *held == found) return;
    particle.place = placeOf(&line, found);
}

}  // namespace

void Particle_nearbythings(Particle& particle) {
    Cell* line = particleLine(particle);
    if (!line) {
        report("[WARNING] bl is NULL in Particle_nearbythings");
        return;
    }
    std::vector<Cell*> found;
    refresh(particle, *line, nearbyList(particle), found);
}

bool nearbyRefresh(Particle& particle, std::vector<Cell*>& scratch) {
    return nearbyRefreshFrom(particle, particleLine(particle), nearbyList(particle), scratch);
}

bool nearbyRefreshFrom(Particle& particle, Cell* line, const std::vector<Cell*>* held,
                       std::vector<Cell*>& scratch) {
    if (!line) return false;
    refresh(particle, *line, held, scratch);
    return true;
}

void Particle_seg_nearbythings(Particle* first, Particle* last) {
    std::vector<Cell*> found;
    for (Particle* p = first; p != last; p++) {
        Cell* line = particleLine(*p);
        if (!line) {
            report("[WARNING] bl is NULL in Particle_seg_nearbythings");
            continue;
        }
        refresh(*p, *line, nearbyList(*p), found);
    }
}
