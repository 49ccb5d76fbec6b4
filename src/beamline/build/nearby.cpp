#include "beamline/build/nearby.hpp"

#include <vector>

#include "common/report.hpp"
#include "model/cell.hpp"
#include "model/cell_submap.hpp"

namespace {

// Lists this thread made lately. Neighbouring particles find the same
// components, and a particle that finds a list it already holds or one made
// for another is given that list: one copy in memory instead of one per
// particle, and particles with one list can be pushed in one batch.
constexpr size_t kRecentLists = 16;
struct RecentLists {
    NearbyList lists[kRecentLists];
    size_t next = 0;
};

void refresh(Particle& particle, std::vector<Cell*>& found) {
    subMapQuery(*particle.line, particle.position, found);
    if (particle.nearby && *particle.nearby == found) return;
    thread_local RecentLists recent;
    for (const NearbyList& list : recent.lists) {
        if (list && *list == found) {
            particle.nearby = list;
            return;
        }
    }
    particle.nearby = std::make_shared<const std::vector<Cell*>>(found);
    recent.lists[recent.next] = particle.nearby;
    recent.next = (recent.next + 1) % kRecentLists;
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
