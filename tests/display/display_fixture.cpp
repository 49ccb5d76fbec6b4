#include "display_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "beamline/cell_types.hpp"
#include "lattice/parser.hpp"
#include "model/cell_geometry.hpp"
#include "platform/process.hpp"

namespace {

// A small fixed generator: the pictures must not change from run to run.
struct Lcg {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    }
    double gauss() {
        double u = std::max(next(), 1e-12), v = next();
        return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
    }
};

const Cell* elementAt(const Cell& cell, double s) {
    if (cell.kind == Machine) {
        double len = cellNumber(cell, "length");
        return s >= cell.arcStart && s < cell.arcStart + len ? &cell : nullptr;
    }
    for (const CellPtr& child : cell.children) {
        if (const Cell* found = child ? elementAt(*child, s) : nullptr) return found;
    }
    return nullptr;
}

// What the beamline build does before a run: a box around each element.
void boxElements(Cell& cell) {
    if (cell.kind == Machine) {
        double r = std::max({cellNumber(cell, "radius"), cellNumber(cell, "bore"), 0.05});
        for (Vec3 p : {cell.entryFrame.origin, cellAdvance(cell, cell.entryFrame).origin}) {
            cellBoxInclude(cell, p);
        }
        cellBoxGrow(cell, r);
    }
    for (const CellPtr& child : cell.children) {
        if (child) boxElements(*child);
    }
}

const char* name(int32_t species) {
    static const char* const names[] = {"pi+", "mu+", "pi-", "mu-", "p"};
    return species >= 0 && species < 5 ? names[species] : nullptr;
}

}  // namespace

CellPtr placedDemoLattice(const std::string& lattice, int level) {
    std::string saved = currentFolder();
    setCurrentFolder(PELTO_SOURCE_DIR "/demo");
    setMissingLevelRule([level](std::string_view, const Genome&) { return level; });
    Genome genome;
    CellPtr root = loadlattice(lattice, genome, false, nullptr);
    resetMissingLevelRule();
    setCurrentFolder(saved);
    if (root) {
        double arc = 0;
        cellPlaceTree(*root, Frame3{}, arc);
        boxElements(*root);
        // The window draws each element by the kind its type row gives it,
        // bound here as the build binds it.
        bindTypeFunctions(*root);
    }
    return root;
}

std::vector<DisplayParticle> beamAlong(const Cell& root, double s, int count, int lost) {
    constexpr double kC = 299792458.0;
    Lcg rng{12345};
    std::vector<DisplayParticle> beam;
    for (int i = 0; i < count; i++) {
        double si = s + (rng.next() - 0.5) * (i < lost ? 2.0 * s : 1.0);
        const Cell* element = elementAt(root, std::max(0.0, si));
        if (!element) continue;
        double along = si - element->arcStart, angle = cellNumber(*element, "angle");
        double spread = i < lost ? 0.35 : 0.06;
        Vec3 local{spread * rng.gauss(), spread * rng.gauss(), along};
        Vec3 dir{0.05 * rng.gauss(), 0.05 * rng.gauss(), 1};
        if (std::abs(angle) > 1e-9) {
            double len = cellNumber(*element, "length"), r = len / angle, th = along / r;
            local = {local.x * std::cos(th) - r * (1 - std::cos(th)), local.y,
                     r * std::sin(th) + local.x * std::sin(th)};
            dir = {dir.x - std::sin(th), dir.y, std::cos(th)};
        }
        frameToGlobal(element->entryFrame, local);
        frameRotate(element->entryFrame, dir);
        DisplayParticle p;
        p.position = local;
        p.species = rng.next() < 0.55 ? 0 : 1;
        p.charge = 1;
        p.kineticMeV = 40 + 260 * rng.next();
        double rest = p.species == 0 ? 139.57 : 105.66;
        double tau = p.kineticMeV / rest;
        p.u = dir * (kC * std::sqrt((tau + 2) * tau) / norm(dir));
        p.weight = 1.0 / count;
        p.state = i < lost ? 1 : 0;
        p.id = i + 1;
        beam.push_back(p);
    }
    // Active particles first, as the beam array keeps them.
    std::stable_partition(beam.begin(), beam.end(),
                          [](const DisplayParticle& p) { return p.state == 0; });
    return beam;
}

DisplayFrame frameOf(const Cell& root, const std::vector<DisplayParticle>& beam, double time) {
    DisplayFrame f;
    f.root = &root;
    f.latticeName = root.name;
    f.time = time;
    f.tMax = 2e-7;
    f.work = 12.5;
    f.slotCount = static_cast<int32_t>(beam.size());
    for (const DisplayParticle& p : beam) f.activeCount += p.state == 0;
    f.particles = beam;
    f.speciesName = name;
    return f;
}
