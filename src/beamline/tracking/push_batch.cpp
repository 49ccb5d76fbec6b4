// The batched push. Its arithmetic is compiled once per vector width and
// chosen at run time; each lane does pushParticle's operations in
// pushParticle's order (the build forbids fused multiply-add), so that a
// particle's path never depends on the width, on its batch or on its lane.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "beamline/tracking/push_batch.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h

#include <hwy/highway.h>

#include "beamline/cell_types.hpp"
#include "beamline/tracking/push_batch.hpp"
#include "model/cell.hpp"
#include "model/relativity.hpp"

HWY_BEFORE_NAMESPACE();
namespace pelto_push {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// 1 / gamma of proper velocity u: c / sqrt(c^2 + u^2), as the one-particle
// push computes it.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V InvGamma(D tag, V ux, V uy, V uz) {
    const V u2 = hn::Add(hn::Add(hn::Mul(ux, ux), hn::Mul(uy, uy)), hn::Mul(uz, uz));
    return hn::Div(hn::Set(tag, kSpeedOfLight),
                   hn::Sqrt(hn::Add(hn::Set(tag, kSpeedOfLight2), u2)));
}

// The start of a step: the proper time each lane gains (h / gamma at the
// start), the first stage's point and the kept start (the start itself) and
// the field sums cleared for the first stage's components to add to.
void Begin(PushLanes& l, size_t count, double h) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    const V vh = hn::Set(tag, h), zero = hn::Zero(tag);
    for (size_t i = 0; i < count; i += hn::Lanes(tag)) {
        const V ux = hn::Load(tag, l.ux + i), uy = hn::Load(tag, l.uy + i);
        const V uz = hn::Load(tag, l.uz + i);
        hn::Store(hn::Mul(vh, InvGamma(tag, ux, uy, uz)), tag, l.properTime + i);
        const V x = hn::Load(tag, l.x + i), y = hn::Load(tag, l.y + i);
        const V z = hn::Load(tag, l.z + i);
        hn::Store(x, tag, l.px + i);
        hn::Store(y, tag, l.py + i);
        hn::Store(z, tag, l.pz + i);
        hn::Store(x, tag, l.x0 + i);
        hn::Store(y, tag, l.y0 + i);
        hn::Store(z, tag, l.z0 + i);
        hn::Store(ux, tag, l.pux + i);
        hn::Store(uy, tag, l.puy + i);
        hn::Store(uz, tag, l.puz + i);
        for (double* f : l.fields) hn::Store(zero, tag, f + i);
    }
}

// Stage `stage` (1 to 4) once its fields are summed: the derivative at the
// stage point, velocity v = u / gamma and qm (E + v x B); then the running
// sum k1 + 2 k2 + 2 k3 + k4 and the next stage's point x + a k (a is h/2 or
// h), or after the last stage the step's end x + h/6 sum. The field sums are
// cleared again for the next stage.
void Stage(PushLanes& l, size_t count, int stage, double a) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    const V va = hn::Set(tag, a), two = hn::Set(tag, 2.0), zero = hn::Zero(tag);
    double* const sums[6] = {l.sx, l.sy, l.sz, l.sux, l.suy, l.suz};
    double* const starts[6] = {l.x, l.y, l.z, l.ux, l.uy, l.uz};
    double* const points[6] = {l.px, l.py, l.pz, l.pux, l.puy, l.puz};
    for (size_t i = 0; i < count; i += hn::Lanes(tag)) {
        const V ux = hn::Load(tag, l.pux + i), uy = hn::Load(tag, l.puy + i);
        const V uz = hn::Load(tag, l.puz + i);
        const V g = InvGamma(tag, ux, uy, uz);
        const V vx = hn::Mul(g, ux), vy = hn::Mul(g, uy), vz = hn::Mul(g, uz);
        const V bx = hn::Load(tag, l.fields[3] + i), by = hn::Load(tag, l.fields[4] + i);
        const V bz = hn::Load(tag, l.fields[5] + i);
        const V cx = hn::Sub(hn::Mul(vy, bz), hn::Mul(vz, by));
        const V cy = hn::Sub(hn::Mul(vz, bx), hn::Mul(vx, bz));
        const V cz = hn::Sub(hn::Mul(vx, by), hn::Mul(vy, bx));
        const V qm = hn::Load(tag, l.qm + i);
        const V k[6] = {vx,
                        vy,
                        vz,
                        hn::Mul(qm, hn::Add(hn::Load(tag, l.fields[0] + i), cx)),
                        hn::Mul(qm, hn::Add(hn::Load(tag, l.fields[1] + i), cy)),
                        hn::Mul(qm, hn::Add(hn::Load(tag, l.fields[2] + i), cz))};
        for (int j = 0; j < 6; j++) {
            V sum = k[j];
            if (stage == 2 || stage == 3) {
                sum = hn::Add(hn::Load(tag, sums[j] + i), hn::Mul(two, k[j]));
            } else if (stage == 4) {
                sum = hn::Add(hn::Load(tag, sums[j] + i), k[j]);
            }
            const V start = hn::Load(tag, starts[j] + i);
            if (stage < 4) {
                hn::Store(sum, tag, sums[j] + i);
                hn::Store(hn::Add(start, hn::Mul(va, k[j])), tag, points[j] + i);
            } else {
                hn::Store(hn::Add(start, hn::Mul(va, sum)), tag, starts[j] + i);
            }
        }
        if (stage < 4) {
            for (double* f : l.fields) hn::Store(zero, tag, f + i);
        }
    }
}

// The proper time each lane gains: h / gamma at the start.
void ProperTime(PushLanes& l, size_t count, double h) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    const V vh = hn::Set(tag, h);
    for (size_t i = 0; i < count; i += hn::Lanes(tag)) {
        const V ux = hn::Load(tag, l.ux + i), uy = hn::Load(tag, l.uy + i);
        const V uz = hn::Load(tag, l.uz + i);
        hn::Store(hn::Mul(vh, InvGamma(tag, ux, uy, uz)), tag, l.properTime + i);
    }
}

// The straight line of a field-free step: x + (h / gamma) u, the proper
// time gain already in properTime; the start kept in x0, y0, z0.
void Drift(PushLanes& l, size_t count) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    for (size_t i = 0; i < count; i += hn::Lanes(tag)) {
        const V s = hn::Load(tag, l.properTime + i);
        const V x = hn::Load(tag, l.x + i), y = hn::Load(tag, l.y + i);
        const V z = hn::Load(tag, l.z + i);
        hn::Store(x, tag, l.x0 + i);
        hn::Store(y, tag, l.y0 + i);
        hn::Store(z, tag, l.z0 + i);
        hn::Store(hn::Add(x, hn::Mul(s, hn::Load(tag, l.ux + i))), tag, l.x + i);
        hn::Store(hn::Add(y, hn::Mul(s, hn::Load(tag, l.uy + i))), tag, l.y + i);
        hn::Store(hn::Add(z, hn::Mul(s, hn::Load(tag, l.uz + i))), tag, l.z + i);
    }
}

const char* TargetName() {
    return hwy::TargetName(HWY_TARGET);
}

}  // namespace HWY_NAMESPACE
}  // namespace pelto_push
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelto_push {
HWY_EXPORT(Begin);
HWY_EXPORT(Stage);
HWY_EXPORT(ProperTime);
HWY_EXPORT(Drift);
HWY_EXPORT(TargetName);

namespace {

// The summed fields of the listed components (last to first) at every
// lane's stage point, each lane as fieldAt would sum them, onto sums that
// start cleared.
void fieldsAt(PushLanes& l, size_t padded, const std::vector<Cell*>& nearby, double t) {
    FieldLanes lanes;
    lanes.count = padded;
    lanes.x = l.px;
    lanes.y = l.py;
    lanes.z = l.pz;
    for (int j = 0; j < 6; j++) lanes.fields[j] = l.fields[j];
    for (size_t c = nearby.size(); c-- > 0;) {
        const Cell* cell = nearby[c];
        if (!cell->fieldFn) continue;
        if (FieldBatchFn batch = fieldBatchFnOf(*cell)) {
            batch(cell->runData, lanes, t);
            continue;
        }
        for (size_t i = 0; i < l.count; i++) {
            double f[6];
            for (int j = 0; j < 6; j++) f[j] = l.fields[j][i];
            cell->fieldFn(cell->runData, l.px[i], l.py[i], l.pz[i], t, f);
            for (int j = 0; j < 6; j++) l.fields[j][i] = f[j];
        }
    }
}

}  // namespace
}  // namespace pelto_push

namespace {

// The lanes up to the next whole vector, as copies of the first.
size_t padLanes(PushLanes& l) {
    const size_t padded = (l.count + kFieldLaneAlign - 1) / kFieldLaneAlign * kFieldLaneAlign;
    double* const state[7] = {l.x, l.y, l.z, l.ux, l.uy, l.uz, l.qm};
    for (double* a : state) {
        for (size_t i = l.count; i < padded; i++) a[i] = a[0];
    }
    return padded;
}

}  // namespace

void driftBatch(PushLanes& l, double h) {
    using namespace pelto_push;
    if (l.count == 0) return;
    const size_t padded = padLanes(l);
    HWY_DYNAMIC_DISPATCH(ProperTime)(l, padded, h);
    HWY_DYNAMIC_DISPATCH(Drift)(l, padded);
}

void pushBatch(PushLanes& l, const std::vector<Cell*>& nearby, double t, double h) {
    using namespace pelto_push;
    if (l.count == 0) return;
    const size_t padded = padLanes(l);
    HWY_DYNAMIC_DISPATCH(Begin)(l, padded, h);
    const double half = 0.5 * h;
    const double stageTime[4] = {t, t + half, t + half, t + h};
    const double advance[4] = {half, half, h, h / 6};
    for (int stage = 1; stage <= 4; stage++) {
        fieldsAt(l, padded, nearby, stageTime[stage - 1]);
        HWY_DYNAMIC_DISPATCH(Stage)(l, padded, stage, advance[stage - 1]);
    }
}

const char* pushBatchTarget() {
    return HWY_DYNAMIC_DISPATCH(pelto_push::TargetName)();
}
#endif  // HWY_ONCE
