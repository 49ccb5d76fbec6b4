// One particle's sub-step: where along the line it is, whether the bore
// stops it, which matter it is in, and which component intercepts it first.
#include <algorithm>
#include <cmath>
#include <optional>

#include "beamline/build/rf_sync.hpp"
#include "beamline/cell_types.hpp"
#include "beamline/tracking/line.hpp"
#include "beamline/tracking/step_parts.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"
#include "model/cell_geometry.hpp"

namespace {

// How far along an element the point p lies. A straight element needs only
// the entry frame's z; a bend its arc (arcPositionIn, whose s this is).
double alongElement(const ElementGeometry& g, Vec3 p) {
    if (g.angle == 0) {
        const double* a = g.entryFrame.axes;
        Vec3 d = p - g.entryFrame.origin;
        return a[2] * d.x + a[5] * d.y + a[8] * d.z;
    }
    double s = 0, r = 0;
    arcPositionIn(g.entryFrame, g.length, g.angle, p, s, r);
    return s;
}

// Whether the point lies beyond the element's bore: its distance from the
// element's path (arcPositionIn's r) above the bore radius. Most points lie
// well inside or well outside, which the squared distance tells without a
// square root; within a hair of the edge the root decides, as it always did.
bool beyondBore(const ElementGeometry& g, Vec3 p) {
    if (g.angle != 0) {
        double s = 0, r = 0;
        arcPositionIn(g.entryFrame, g.length, g.angle, p, s, r);
        return g.bore < r;
    }
    frameToLocal(g.entryFrame, p);
    const double r2 = p.x * p.x + p.y * p.y;
    const double bore2 = g.bore * g.bore;
    if (g.bore > 0 && std::isnormal(bore2)) {
        if (r2 < bore2 * (1 - 1e-9)) return false;
        if (r2 > bore2 * (1 + 1e-9)) return true;
    }
    return g.bore < std::sqrt(r2);
}

// The top-level element of the particle's line that holds it, searched from
// the element of its last step over the line's `last + 1` elements, whose
// geometry `at(index)` gives.
template <class Geometry>
int32_t findElement(const Particle& particle, int32_t last, Geometry at,
                    const ElementGeometry*& found) {
    int32_t index = particle.elementIndex < 0 ? 0 : std::min(particle.elementIndex, last);
    const ElementGeometry* g = &at(index);
    double s = alongElement(*g, particle.position);
    if (s >= 0) {
        while (s >= g->length && index < last) {
            g = &at(++index);
            s = alongElement(*g, particle.position);
        }
    } else {
        while (s < 0 && index > 0) {
            g = &at(--index);
            s = alongElement(*g, particle.position);
        }
    }
    found = g;
    return index;
}

// The element search's end: the place found, and the bore's check.
bool placeParticle(Particle& particle, const Cell& line, int32_t index, const ElementGeometry& g,
                   StepPlace& place) {
    place.index = index;
    place.element = line.children[static_cast<size_t>(index)].get();
    if (g.bore != 0 && beyondBore(g, particle.position)) {
        particle.state = StateStopped;
        lostparticlein(particle, *place.element);
        return false;
    }
    return true;
}

// The innermost nearby matter (a component with a scattering table) that
// holds the point x at time t; none outside all matter. `any` tells whether
// the list has matter at all.
Cell* matterAt(const std::vector<Cell*>& nearby, Vec3 x, double t, bool& any) {
    for (size_t i = nearby.size(); i-- > 0;) {
        Cell* cell = nearby[i];
        if (!cell->scatterData || !cell->materialFn) continue;
        any = true;
        if (cell->materialFn(cell->runData, x.x, x.y, x.z, t)) return cell;
    }
    return nullptr;
}

// The matter a step started in, as a sign for the crossing search: negative
// while the particle is still in it, positive once it is in other matter or
// none.
struct MatterSide {
    const std::vector<Cell*>* nearby;
    const Cell* start;
};
double matterSideDistance(const Particle& particle, double t, const void* context) {
    const auto& side = *static_cast<const MatterSide*>(context);
    bool any = false;
    return matterAt(*side.nearby, particle.position, t, any) == side.start ? -1 : 1;
}

// A step tracked in the matter it started in (table) that ends in other
// matter or none is cut where it leaves: the particle and time just past the
// face, so that each material acts over the path that lies in it and the
// next sub-step starts in the new one. False, with nothing changed, when no
// such point is found.
bool cutAtMatterFace(const Particle& before, double t0, const Particle& after, double t1,
                     const MatterSide& side, const ScatterData* table, const StepContext& context,
                     Particle& cut, double& cutTime) {
    // The sign has only two values, so the search bisects until the two ends
    // of its bracket are neighbouring times, and hands back either end.
    Crossing c = findCrossing(before, t0, after, t1, matterSideDistance, &side, table, context);
    if (c.found < 0) return false;
    double when = c.time;
    Particle at = c.found ? std::move(c.particle) : before;
    if (!c.found || matterSideDistance(at, when, &side) < 0) {
        // Still in the old matter (on its face): the next time along is the
        // first one outside, and the cut must move the particle on, or the
        // next sub-step would find the same face again.
        when = std::nextafter(when, t1);
        if (!(when > t0 && when <= t1)) return false;
        at = before;
        matterStep(at, t0, when - t0, table, context);
        if (matterSideDistance(at, when, &side) < 0) return false;
    }
    cut = std::move(at);
    cutTime = when;
    return true;
}

// A face this close to the start of a step (as a fraction of its chord) is
// the one the step before was cut at: the particle already lies on the far
// side of it by the inside test, and finding it again would cut the step to
// a few ulps, over and over.
constexpr double kSameFraction = 1e-9;

// The first piece of the step's chord, from a (at t0) to b (at t1), that
// lies in other matter than `start`: the chord is cut into pieces at every
// fraction where some nearby matter may begin or end, and each piece is told
// by the matter at its middle. `at` is the fraction of that middle, or -1
// when the whole chord stays in `start`; `onlyChange` says that every later
// piece is also in other matter (the chord changes side once).
struct ChordPiece {
    double at = -1;
    bool onlyChange = false;
};
ChordPiece firstOtherMatter(const std::vector<Cell*>& nearby, const Cell* start, Vec3 a, Vec3 b,
                            double t0, double t1) {
    thread_local std::vector<double> cuts;
    cuts.clear();
    for (const Cell* cell : nearby) {
        if (!cell->scatterData || !cell->materialFn) continue;
        MatterSplitsFn splits = matterSplitsFnOf(*cell);
        if (!splits) continue;
        double fractions[kMaxMatterSplits];
        int n = splits(cell->runData, a, b, fractions);
        for (int i = 0; i < n; i++) {
            if (fractions[i] > kSameFraction) cuts.push_back(fractions[i]);
        }
    }
    ChordPiece piece;
    if (cuts.empty()) return piece;
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(1);
    double from = 0;
    for (double to : cuts) {
        if (!(to > from)) continue;
        double middle = 0.5 * (from + to);
        bool any = false;
        bool other = matterAt(nearby, a + middle * (b - a), t0 + middle * (t1 - t0), any) != start;
        if (piece.at < 0 && other) {
            piece = {middle, true};
        } else if (piece.at >= 0 && !other) {
            piece.onlyChange = false;
            break;
        }
        from = to;
    }
    return piece;
}

bool isRfCavity(const Cell& cell) {
    return cell.interceptFn && cell.interceptFn == rfCavityFunctions.interceptFn;
}

}  // namespace

bool stepLocate(Particle& particle, const PreparedLine* prepared, StepPlace& place) {
    Cell* line = particleLine(particle);
    place.element = nullptr;
    place.index = particle.elementIndex;
    if (!line || line->childCount() == 0) return true;
    ElementGeometry scratch;
    const ElementGeometry* g = nullptr;
    const int32_t index = findElement(
        particle, line->childCount() - 1,
        [&](int32_t i) -> const ElementGeometry& {
            return elementGeometry(prepared, *line, i, scratch);
        },
        g);
    return placeParticle(particle, *line, index, *g, place);
}

bool stepLocateMemo(Particle& particle, const PreparedLine* prepared, StepPlace& place,
                    const PlaceMemo& memo) {
    const Cell* line = memo.line;
    const std::vector<ElementGeometry>* elements =
        line && line->childCount() > 0 ? preparedElementsOf(prepared, *line) : nullptr;
    if (!elements) return stepLocate(particle, prepared, place);
    const ElementGeometry* g = nullptr;
    const int32_t index = findElement(
        particle, line->childCount() - 1,
        [&](int32_t i) -> const ElementGeometry& { return (*elements)[static_cast<size_t>(i)]; },
        g);
    return placeParticle(particle, *line, index, *g, place);
}

double stepIntercept(Particle& particle, Particle& after, double t, double reached,
                     const StepPlace& place, Cell* matter, const ScatterData* table,
                     const StepContext& context) {
    static const std::vector<Cell*> none;
    const std::vector<Cell*>* list = nearbyList(particle);
    const std::vector<Cell*>& nearby = list ? *list : none;
    const bool rfOnly = context.rfSync != nullptr;
    Cell* stopper = matter;
    if (after.state == StateActive && !nearby.empty()) {
        double best = 9e99;
        // One candidate for all the components, and the hit made only when
        // one is found: clearing a whole particle for every nearby component
        // of every sub-step was a tenth of a run's time.
        std::optional<Particle> hit;
        Particle candidate;
        Cell* hitCell = nullptr;
        for (size_t i = nearby.size(); i-- > 0;) {
            Cell* cell = nearby[i];
            if (!cell->interceptFn || (rfOnly && !isRfCavity(*cell))) continue;
            double when = 9e99;
            int got = rfOnly ? rfSyncHit(*context.rfSync, *cell, particle, after, t, reached,
                                         candidate, when)
                             : cell->interceptFn(cell->runData, particle, after, t, reached,
                                                 context, table, candidate, when);
            if (got && when < best) {
                best = when;
                hit = std::move(candidate);
                hitCell = cell;
            }
        }
        if (hitCell) {
            after = std::move(*hit);
            reached = best;
            stopper = hitCell;
        }
    }

    after.elementIndex = place.index;
    if (after.state != StateActive) {
        if (!stopper) stopper = place.element;
        if (stopper) lostparticlein(after, *stopper);
    }
    particle = std::move(after);
    return reached;
}

double stepParticle(Particle& particle, double t, double tEnd, const PreparedLine* prepared,
                    const StepContext& context) {
    StepPlace place;
    if (!stepLocate(particle, prepared, place)) return t;

    static const std::vector<Cell*> none;
    const std::vector<Cell*>* list = nearbyList(particle);
    const std::vector<Cell*>& nearby = list ? *list : none;
    bool anyMatter = false;
    Cell* matter = matterAt(nearby, particle.position, t, anyMatter);
    const ScatterData* table = matter ? matter->scatterData : nullptr;
    Particle after = particle;
    matterStep(after, t, tEnd - t, table, context);
    double reached = tEnd;
    // A step that meets other matter than it began in is cut at the first
    // face: where it ends in other matter, or where its chord passes through
    // some (a window thinner than the step).
    if (anyMatter && after.state == StateActive) {
        const bool endsElsewhere = matterAt(nearby, after.position, tEnd, anyMatter) != matter;
        ChordPiece piece =
            firstOtherMatter(nearby, matter, particle.position, after.position, t, tEnd);
        // With one change of side along the chord the whole step brackets
        // the face; otherwise the particle in the middle of the first piece
        // of other matter does.
        Particle probe;
        double probeTime = tEnd;
        bool probed = false;
        if (piece.at >= 0 && !(piece.onlyChange && endsElsewhere)) {
            probeTime = t + piece.at * (tEnd - t);
            probe = particle;
            matterStep(probe, t, probeTime - t, table, context);
            bool any = false;
            probed = probe.state == StateActive &&
                     matterAt(nearby, probe.position, probeTime, any) != matter;
        }
        if (probed || endsElsewhere) {
            const MatterSide side{&nearby, matter};
            Particle cut;
            double cutTime = tEnd;
            if (cutAtMatterFace(particle, t, probed ? probe : after, probed ? probeTime : tEnd,
                                side, table, context, cut, cutTime)) {
                after = std::move(cut);
                reached = cutTime;
            }
        }
    }

    return stepIntercept(particle, after, t, reached, place, matter, table, context);
}
