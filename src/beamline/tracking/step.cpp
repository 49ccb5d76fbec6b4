// One particle's sub-step: where along the line it is, whether the bore
// stops it, which matter it is in, and which component intercepts it first.
#include "beamline/build/rf_sync.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/tracking/line.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"
#include "model/cell_geometry.hpp"

namespace {

// The top-level element of the particle's line that holds it, searched from
// the element of its last step; r is its distance from that element's axis.
int32_t findElement(const Particle& particle, const Cell& line, const PreparedLine* prepared,
                    double& r, const ElementGeometry*& found, ElementGeometry& scratch) {
    const int32_t last = line.childCount() - 1;
    int32_t index = particle.elementIndex < 0 ? 0 : std::min(particle.elementIndex, last);
    const ElementGeometry* g = &elementGeometry(prepared, line, index, scratch);
    double s = 0;
    arcPositionIn(g->entryFrame, g->length, g->angle, particle.position, s, r);
    if (s >= 0) {
        while (s >= g->length && index < last) {
            g = &elementGeometry(prepared, line, ++index, scratch);
            arcPositionIn(g->entryFrame, g->length, g->angle, particle.position, s, r);
        }
    } else {
        while (s < 0 && index > 0) {
            g = &elementGeometry(prepared, line, --index, scratch);
            arcPositionIn(g->entryFrame, g->length, g->angle, particle.position, s, r);
        }
    }
    found = g;
    return index;
}

// The scattering table of the innermost nearby matter holding the particle.
const ScatterData* matterAt(const Particle& particle, double t, Cell*& matter) {
    if (!particle.nearby) return nullptr;
    const std::vector<Cell*>& nearby = *particle.nearby;
    const Vec3& x = particle.position;
    for (size_t i = nearby.size(); i-- > 0;) {
        Cell* cell = nearby[i];
        if (cell->scatterData && cell->materialFn &&
            cell->materialFn(cell->runData, x.x, x.y, x.z, t)) {
            matter = cell;
            return cell->scatterData;
        }
    }
    return nullptr;
}

bool isRfCavity(const Cell& cell) {
    return cell.interceptFn && cell.interceptFn == rfCavityFunctions.interceptFn;
}

}  // namespace

double stepParticle(Particle& particle, double t, double tEnd, const PreparedLine* prepared,
                    const StepContext& context) {
    const bool rfOnly = context.rfSync != nullptr;
    Cell* line = particle.line;
    Cell* element = nullptr;
    int32_t index = particle.elementIndex;
    if (line && line->childCount() > 0) {
        ElementGeometry scratch;
        const ElementGeometry* g = nullptr;
        double r = 0;
        index = findElement(particle, *line, prepared, r, g, scratch);
        element = line->children[static_cast<size_t>(index)].get();
        if (g->bore != 0 && g->bore < r) {
            particle.state = StateStopped;
            lostparticlein(particle, *element);
            return t;
        }
    }

    Cell* matter = nullptr;
    const ScatterData* table = matterAt(particle, t, matter);
    Particle after = particle;
    matterStep(after, t, tEnd - t, table, context);
    double reached = tEnd;
    Cell* stopper = matter;

    if (after.state == StateActive && particle.nearby) {
        const std::vector<Cell*>& nearby = *particle.nearby;
        double best = 9e99;
        Particle hit;
        Cell* hitCell = nullptr;
        for (size_t i = nearby.size(); i-- > 0;) {
            Cell* cell = nearby[i];
            if (!cell->interceptFn || (rfOnly && !isRfCavity(*cell))) continue;
            Particle candidate;
            double when = 9e99;
            int got = rfOnly ? rfSyncHit(*context.rfSync, *cell, particle, after, t, tEnd,
                                         candidate, when)
                             : cell->interceptFn(cell->runData, particle, after, t, tEnd, context,
                                                 table, candidate, when);
            if (got && when < best) {
                best = when;
                hit = std::move(candidate);
                hitCell = cell;
            }
        }
        if (hitCell) {
            after = std::move(hit);
            reached = best;
            stopper = hitCell;
        }
    }

    after.elementIndex = index;
    if (after.state != StateActive) {
        if (!stopper) stopper = element;
        if (stopper) lostparticlein(after, *stopper);
    }
    particle = std::move(after);
    return reached;
}
