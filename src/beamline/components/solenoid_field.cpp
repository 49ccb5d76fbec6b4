// The field of a finite current sheet, expanded to third order in the
// distance rho from the axis (so that it stays divergence-free to that
// order). With z = s/a at either end, r = 1/sqrt(1+z^2) and c = r^2, the
// axial part is B0/2 (zr + ...) and the radial part carries a factor rho/a,
// which the direction w/rho cancels: B0 (fz n + frOverRho w) needs neither
// rho nor a division by it. Divides and square roots are what bound this
// function's speed.
//
// The batch version below is compiled once per vector width and chosen at
// run time. Every lane does the scalar version's operations in the scalar
// version's order (no fused multiply-add: the build forbids contraction), so
// a particle's field never depends on the width or on its batch.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "beamline/components/solenoid_field.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h

#include <hwy/highway.h>

#include <cmath>

#include "beamline/components/solenoid_field.hpp"
#include "model/cell.hpp"

HWY_BEFORE_NAMESPACE();
namespace pelto_solenoid {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void FieldLanesOf(const SolenoidData& d, const FieldLanes& lanes) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    const size_t step = hn::Lanes(tag);
    const V sx = hn::Set(tag, d.start.x), sy = hn::Set(tag, d.start.y),
            sz = hn::Set(tag, d.start.z);
    const V nx = hn::Set(tag, d.n.x), ny = hn::Set(tag, d.n.y), nz = hn::Set(tag, d.n.z);
    const V invA = hn::Set(tag, d.invRadius), length = hn::Set(tag, d.length);
    const V limit2 = hn::Set(tag, d.radiusLimit2), b0 = hn::Set(tag, d.field);
    const V one = hn::Set(tag, 1.0), half = hn::Set(tag, 0.5), quarter = hn::Set(tag, 0.25);
    const V k075 = hn::Set(tag, 0.75), k0375 = hn::Set(tag, 0.375), four = hn::Set(tag, 4.0);
    for (size_t i = 0; i < lanes.count; i += step) {
        const V rx = hn::Sub(hn::Load(tag, lanes.x + i), sx);
        const V ry = hn::Sub(hn::Load(tag, lanes.y + i), sy);
        const V rz = hn::Sub(hn::Load(tag, lanes.z + i), sz);
        const V s = hn::Add(hn::Add(hn::Mul(rx, nx), hn::Mul(ry, ny)), hn::Mul(rz, nz));
        const V wx = hn::Sub(rx, hn::Mul(s, nx));
        const V wy = hn::Sub(ry, hn::Mul(s, ny));
        const V wz = hn::Sub(rz, hn::Mul(s, nz));
        const V rho2 = hn::Add(hn::Add(hn::Mul(wx, wx), hn::Mul(wy, wy)), hn::Mul(wz, wz));
        const auto inside = hn::Not(hn::Gt(rho2, limit2));
        if (hn::AllFalse(tag, inside)) continue;
        const V q2 = hn::Mul(hn::Mul(rho2, invA), invA);
        const V z1 = hn::Mul(s, invA), z2 = hn::Mul(hn::Sub(length, s), invA);
        const V r1 = hn::Div(one, hn::Sqrt(hn::Add(one, hn::Mul(z1, z1))));
        const V r2 = hn::Div(one, hn::Sqrt(hn::Add(one, hn::Mul(z2, z2))));
        const V c1 = hn::Mul(r1, r1), c2 = hn::Mul(r2, r2);
        const V o = hn::Mul(z1, r1), p = hn::Mul(z2, r2);
        const V fz = hn::Mul(
            half, hn::Add(hn::Add(o, p),
                          hn::Mul(hn::Mul(k075, q2), hn::Add(hn::Mul(hn::Mul(o, c1), c1),
                                                             hn::Mul(hn::Mul(p, c2), c2)))));
        const V e1 = hn::Mul(
            hn::Mul(hn::Mul(hn::Mul(hn::Sub(hn::Mul(hn::Mul(four, z1), z1), one), r1), c1), c1),
            c1);
        const V e2 = hn::Mul(
            hn::Mul(hn::Mul(hn::Mul(hn::Sub(hn::Mul(hn::Mul(four, z2), z2), one), r2), c2), c2),
            c2);
        const V fr =
            hn::Mul(hn::Mul(quarter, invA), hn::Add(hn::Sub(hn::Mul(c2, r2), hn::Mul(c1, r1)),
                                                    hn::Mul(hn::Mul(k0375, q2), hn::Sub(e1, e2))));
        const V bx =
            hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, nx), hn::Mul(fr, wx))));
        const V by =
            hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, ny), hn::Mul(fr, wy))));
        const V bz =
            hn::IfThenElseZero(inside, hn::Mul(b0, hn::Add(hn::Mul(fz, nz), hn::Mul(fr, wz))));
        // The sums never hold -0, so adding +0 in a lane out of reach leaves
        // it as the scalar version (which adds nothing) does.
        hn::Store(hn::Add(hn::Load(tag, lanes.fields[3] + i), bx), tag, lanes.fields[3] + i);
        hn::Store(hn::Add(hn::Load(tag, lanes.fields[4] + i), by), tag, lanes.fields[4] + i);
        hn::Store(hn::Add(hn::Load(tag, lanes.fields[5] + i), bz), tag, lanes.fields[5] + i);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace pelto_solenoid
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelto_solenoid {
HWY_EXPORT(FieldLanesOf);
}  // namespace pelto_solenoid

void solenoidField(const unsigned char* runData, double x, double y, double z, double t,
                   double out[6]) {
    const auto& d = runDataAs<SolenoidData>(runData);
    if (!solenoidIsOn(d, t)) return;
    const double rx = x - d.start.x, ry = y - d.start.y, rz = z - d.start.z;
    const double s = rx * d.n.x + ry * d.n.y + rz * d.n.z;
    const double wx = rx - s * d.n.x, wy = ry - s * d.n.y, wz = rz - s * d.n.z;
    const double rho2 = wx * wx + wy * wy + wz * wz;
    if (rho2 > d.radiusLimit2) return;
    const double q2 = rho2 * d.invRadius * d.invRadius;
    const double z1 = s * d.invRadius, z2 = (d.length - s) * d.invRadius;
    const double r1 = 1 / std::sqrt(1 + z1 * z1), r2 = 1 / std::sqrt(1 + z2 * z2);
    const double c1 = r1 * r1, c2 = r2 * r2;
    const double o = z1 * r1, p = z2 * r2;
    const double fz = 0.5 * ((o + p) + 0.75 * q2 * (o * c1 * c1 + p * c2 * c2));
    const double fr = 0.25 * d.invRadius *
                      ((c2 * r2 - c1 * r1) + 0.375 * q2 *
                                                 ((4 * z1 * z1 - 1) * r1 * c1 * c1 * c1 -
                                                  (4 * z2 * z2 - 1) * r2 * c2 * c2 * c2));
    out[3] += d.field * (fz * d.n.x + fr * wx);
    out[4] += d.field * (fz * d.n.y + fr * wy);
    out[5] += d.field * (fz * d.n.z + fr * wz);
}

void solenoidFieldBatch(const unsigned char* runData, const FieldLanes& lanes, double t) {
    const auto& d = runDataAs<SolenoidData>(runData);
    if (!solenoidIsOn(d, t)) return;
    HWY_DYNAMIC_DISPATCH(pelto_solenoid::FieldLanesOf)(d, lanes);
}
#endif  // HWY_ONCE
