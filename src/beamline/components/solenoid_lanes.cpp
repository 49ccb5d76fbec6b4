// The coil's crossing test for a batch of steps, compiled once per vector
// width and chosen at run time. A lane's answer is the one mayCrossCoil in
// solenoid.cpp gives for its step: the same operations in the same order (no
// fused multiply-add: the build forbids contraction).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "beamline/components/solenoid_lanes.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h

#include <hwy/highway.h>

#include "beamline/components/solenoid_field.hpp"
#include "model/cell.hpp"

HWY_BEFORE_NAMESPACE();
namespace pelto_solenoid_lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void CrossLanesOf(const SolenoidData& d, const FaceReach& faces, const StepLanes& lanes,
                  uint8_t* may) {
    const hn::ScalableTag<double> tag;
    using V = hn::Vec<decltype(tag)>;
    const size_t step = hn::Lanes(tag);
    const V sx = hn::Set(tag, d.start.x), sy = hn::Set(tag, d.start.y),
            sz = hn::Set(tag, d.start.z);
    const V nx = hn::Set(tag, d.n.x), ny = hn::Set(tag, d.n.y), nz = hn::Set(tag, d.n.z);
    const V length = hn::Set(tag, d.length), zero = hn::Zero(tag);
    const V inner2 = hn::Set(tag, d.radius * d.radius);
    const V outer2 = hn::Set(tag, d.outerRadius * d.outerRadius);
    const V least2 = hn::Set(tag, faces.least2), most2 = hn::Set(tag, faces.most2);
    // Axial coordinate and squared distance from the axis of one end.
    auto axialRadial = [&](const double* x, const double* y, const double* z, size_t i, V& s,
                           V& rho2) {
        const V rx = hn::Sub(hn::Load(tag, x + i), sx);
        const V ry = hn::Sub(hn::Load(tag, y + i), sy);
        const V rz = hn::Sub(hn::Load(tag, z + i), sz);
        s = hn::Add(hn::Add(hn::Mul(rx, nx), hn::Mul(ry, ny)), hn::Mul(rz, nz));
        const V wx = hn::Sub(rx, hn::Mul(s, nx));
        const V wy = hn::Sub(ry, hn::Mul(s, ny));
        const V wz = hn::Sub(rz, hn::Mul(s, nz));
        rho2 = hn::Add(hn::Add(hn::Mul(wx, wx), hn::Mul(wy, wy)), hn::Mul(wz, wz));
    };
    for (size_t i = 0; i < lanes.count; i += step) {
        V s0, rho0, s1, rho1;
        axialRadial(lanes.x0, lanes.y0, lanes.z0, i, s0, rho0);
        axialRadial(lanes.x1, lanes.y1, lanes.z1, i, s1, rho1);
        // A surface lies between the ends when its signed distances at them
        // multiply to zero or less: the entry face, the exit face, the inner
        // and the outer cylinder; the faces count only within reach.
        const auto entry = hn::Le(hn::Mul(s0, s1), zero);
        const auto exit = hn::Le(hn::Mul(hn::Sub(s0, length), hn::Sub(s1, length)), zero);
        const auto inner = hn::Le(hn::Mul(hn::Sub(rho0, inner2), hn::Sub(rho1, inner2)), zero);
        const auto outer = hn::Le(hn::Mul(hn::Sub(rho0, outer2), hn::Sub(rho1, outer2)), zero);
        const auto reach = hn::And(hn::Ge(rho0, least2), hn::Le(rho0, most2));
        const auto any = hn::Or(hn::And(hn::Or(entry, exit), reach), hn::Or(inner, outer));
        // Most steps cross nothing, and their lanes are already clear.
        if (hn::AllFalse(tag, any)) continue;
        alignas(64) double flags[HWY_MAX_BYTES / sizeof(double)];
        hn::Store(hn::IfThenElseZero(any, hn::Set(tag, 1.0)), tag, flags);
        for (size_t k = 0; k < step; k++) may[i + k] |= static_cast<uint8_t>(flags[k] != 0);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace pelto_solenoid_lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pelto_solenoid_lanes {
HWY_EXPORT(CrossLanesOf);
}  // namespace pelto_solenoid_lanes

void solenoidInterceptsBatch(const unsigned char* runData, const StepLanes& lanes, double t0,
                             double t1, uint8_t* may) {
    const auto& d = runDataAs<SolenoidData>(runData);
    if (!solenoidIsOn(d, t0)) return;
    HWY_DYNAMIC_DISPATCH(pelto_solenoid_lanes::CrossLanesOf)
    (d, solenoidFaceReach(d, t0, t1), lanes, may);
}
#endif  // HWY_ONCE
