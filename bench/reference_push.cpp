// The reference push (see reference_push.hpp). The field is the engine's
// solenoid formula: rearranged so that no divide or square root is spent on
// rho, and r = 1/sqrt(1+z^2), c = r^2 at either end.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reference_push.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h

#include <hwy/highway.h>

#include <cmath>

#include "reference_push.hpp"

HWY_BEFORE_NAMESPACE();
namespace pelto_reference {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class D, class V = hn::Vec<D>>
struct State {
    V x, y, z, ux, uy, uz;
};

template <class D, class V = hn::Vec<D>>
HWY_INLINE void coilField(D d, const ReferenceCoil& k, V x, V y, V z, V& bx, V& by, V& bz) {
    const V nx = hn::Set(d, k.nx), ny = hn::Set(d, k.ny), nz = hn::Set(d, k.nz);
    const V invA = hn::Set(d, k.invA), one = hn::Set(d, 1.0);
    const V rx = hn::Sub(x, hn::Set(d, k.sx)), ry = hn::Sub(y, hn::Set(d, k.sy));
    const V rz = hn::Sub(z, hn::Set(d, k.sz));
    const V s = hn::Add(hn::Add(hn::Mul(rx, nx), hn::Mul(ry, ny)), hn::Mul(rz, nz));
    const V wx = hn::Sub(rx, hn::Mul(s, nx)), wy = hn::Sub(ry, hn::Mul(s, ny));
    const V wz = hn::Sub(rz, hn::Mul(s, nz));
    const V rho2 = hn::Add(hn::Add(hn::Mul(wx, wx), hn::Mul(wy, wy)), hn::Mul(wz, wz));
    const auto inside = hn::Not(hn::Gt(rho2, hn::Set(d, k.limit2)));
    const V q2 = hn::Mul(hn::Mul(rho2, invA), invA);
    const V z1 = hn::Mul(s, invA), z2 = hn::Mul(hn::Sub(hn::Set(d, k.length), s), invA);
    const V r1 = hn::Div(one, hn::Sqrt(hn::Add(one, hn::Mul(z1, z1))));
    const V r2 = hn::Div(one, hn::Sqrt(hn::Add(one, hn::Mul(z2, z2))));
    const V c1 = hn::Mul(r1, r1), c2 = hn::Mul(r2, r2);
    const V o = hn::Mul(z1, r1), p = hn::Mul(z2, r2);
    const V fz = hn::Mul(hn::Set(d, 0.5),
                         hn::Add(hn::Add(o, p), hn::Mul(hn::Mul(hn::Set(d, 0.75), q2),
                                                        hn::Add(hn::Mul(hn::Mul(o, c1), c1),
                                                                hn::Mul(hn::Mul(p, c2), c2)))));
    const V four = hn::Set(d, 4.0);
    const V e1 = hn::Mul(
        hn::Mul(hn::Mul(hn::Mul(hn::Sub(hn::Mul(hn::Mul(four, z1), z1), one), r1), c1), c1), c1);
    const V e2 = hn::Mul(
        hn::Mul(hn::Mul(hn::Mul(hn::Sub(hn::Mul(hn::Mul(four, z2), z2), one), r2), c2), c2), c2);
    const V fr = hn::Mul(hn::Mul(hn::Set(d, 0.25), invA),
                         hn::Add(hn::Sub(hn::Mul(c2, r2), hn::Mul(c1, r1)),
                                 hn::Mul(hn::Mul(hn::Set(d, 0.375), q2), hn::Sub(e1, e2))));
    const V b0 = hn::Set(d, k.b0);
    bx = hn::Add(
        bx, hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, nx), hn::Mul(fr, wx)))));
    by = hn::Add(
        by, hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, ny), hn::Mul(fr, wy)))));
    bz = hn::Add(
        bz, hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, nz), hn::Mul(fr, wz)))));
}

// dx/dt = v = u / gamma, du/dt = qm v x B.
template <class D, class V = hn::Vec<D>>
HWY_INLINE State<D> derivative(D d, const ReferenceCoil* coils, V qm, const State<D>& s) {
    const V c = hn::Set(d, 299792458.0), c2 = hn::Set(d, 8.987551787368176e16);
    const V u2 = hn::Add(hn::Add(hn::Mul(s.ux, s.ux), hn::Mul(s.uy, s.uy)), hn::Mul(s.uz, s.uz));
    const V g = hn::Div(c, hn::Sqrt(hn::Add(c2, u2)));
    V bx = hn::Zero(d), by = hn::Zero(d), bz = hn::Zero(d);
    for (int i = kReferenceCoils; i-- > 0;) coilField(d, coils[i], s.x, s.y, s.z, bx, by, bz);
    const V vx = hn::Mul(g, s.ux), vy = hn::Mul(g, s.uy), vz = hn::Mul(g, s.uz);
    return {vx,
            vy,
            vz,
            hn::Mul(qm, hn::Sub(hn::Mul(vy, bz), hn::Mul(vz, by))),
            hn::Mul(qm, hn::Sub(hn::Mul(vz, bx), hn::Mul(vx, bz))),
            hn::Mul(qm, hn::Sub(hn::Mul(vx, by), hn::Mul(vy, bx)))};
}

template <class D, class V = hn::Vec<D>>
HWY_INLINE State<D> along(const State<D>& s, V a, const State<D>& k) {
    return {hn::Add(s.x, hn::Mul(a, k.x)),   hn::Add(s.y, hn::Mul(a, k.y)),
            hn::Add(s.z, hn::Mul(a, k.z)),   hn::Add(s.ux, hn::Mul(a, k.ux)),
            hn::Add(s.uy, hn::Mul(a, k.uy)), hn::Add(s.uz, hn::Mul(a, k.uz))};
}

template <class D>
void pushAll(D d, ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps) {
    using V = hn::Vec<D>;
    const V qm = hn::Set(d, beam.qm), half = hn::Set(d, 0.5 * h), whole = hn::Set(d, h);
    const V sixth = hn::Set(d, h / 6), two = hn::Set(d, 2.0);
    for (int step = 0; step < steps; step++) {
        for (size_t i = 0; i < beam.count; i += hn::Lanes(d)) {
            State<D> s{hn::Load(d, beam.x + i),  hn::Load(d, beam.y + i),
                       hn::Load(d, beam.z + i),  hn::Load(d, beam.ux + i),
                       hn::Load(d, beam.uy + i), hn::Load(d, beam.uz + i)};
            const State<D> k1 = derivative(d, coils, qm, s);
            const State<D> k2 = derivative(d, coils, qm, along(s, half, k1));
            const State<D> k3 = derivative(d, coils, qm, along(s, half, k2));
            const State<D> k4 = derivative(d, coils, qm, along(s, whole, k3));
            const State<D> sum = along(along(along(k1, two, k2), two, k3), hn::Set(d, 1.0), k4);
            s = along(s, sixth, sum);
            hn::Store(s.x, d, beam.x + i);
            hn::Store(s.y, d, beam.y + i);
            hn::Store(s.z, d, beam.z + i);
            hn::Store(s.ux, d, beam.ux + i);
            hn::Store(s.uy, d, beam.uy + i);
            hn::Store(s.uz, d, beam.uz + i);
        }
    }
}

void PushVector(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps) {
    pushAll(hn::ScalableTag<double>(), beam, coils, h, steps);
}

// One lane at a time: the same loop as a plain scalar program would run.
void PushScalar(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps) {
    pushAll(hn::CappedTag<double, 1>(), beam, coils, h, steps);
}

}  // namespace HWY_NAMESPACE
}  // namespace pelto_reference
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelto_reference {
HWY_EXPORT(PushVector);
HWY_EXPORT(PushScalar);
}  // namespace pelto_reference

void referencePushScalar(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps) {
    HWY_DYNAMIC_DISPATCH(pelto_reference::PushScalar)(beam, coils, h, steps);
}
void referencePushVector(ReferenceBeam& beam, const ReferenceCoil* coils, double h, int steps) {
    HWY_DYNAMIC_DISPATCH(pelto_reference::PushVector)(beam, coils, h, steps);
}
#endif  // HWY_ONCE
