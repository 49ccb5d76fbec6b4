// The solenoid's field: its run data and the field of its current sheet, at
// one point and for a batch of points.
#pragma once

#include <cmath>

#include "beamline/cell_types.hpp"
#include "model/relativity.hpp"
#include "model/vec3.hpp"

struct SolenoidData {
    Vec3 start;               // centre of the entry face (placed frame origin)
    Vec3 n;                   // unit axis (placed frame local z)
    double radius = 0;        // coil inner radius a
    double invRadius = 0;     // 1/a
    double length = 0;        // L
    double field = 0;         // B0, tesla
    double outerRadius = 0;   // coil outer radius
    double radiusLimit2 = 0;  // (1.2 a)^2: no field beyond
    double offTime = 1e20;    // off after this time ...
    double onTime = -1e20;    // ... and on after this one (see solenoidIsOn)
};
static_assert(sizeof(SolenoidData) <= kSolenoidRunDataBytes);

// On for OnTime < t <= OffTime when OnTime < OffTime; with the times the
// other way round, on outside (OffTime, OnTime].
inline bool solenoidIsOn(const SolenoidData& d, double t) {
    bool a = t <= d.offTime, b = t <= d.onTime, c = d.offTime <= d.onTime;
    return (a != b) != c;
}

// The fieldFn and fieldBatchFn of the solenoid: both give the same bits at a
// point.
void solenoidField(const unsigned char* runData, double x, double y, double z, double t,
                   double out[6]);
void solenoidFieldBatch(const unsigned char* runData, const FieldLanes& lanes, double t);

// The solenoid's interceptsBatchFn: marks the lanes whose step may cross one
// of the coil's surfaces (the coil stops a particle that meets it). `lanes`
// holds a multiple of kFieldLaneAlign lanes.
void solenoidInterceptsBatch(const unsigned char* runData, const StepLanes& lanes, double t0,
                             double t1, uint8_t* may);

// The squared distances from the axis between which a step from t0 to t1
// may meet the coil's end faces (the annuli between the two radii): a
// particle moves less than light does, and its distance from the axis
// changes no more than it moves. Shared by the one-step and batch tests.
struct FaceReach {
    double least2;  // below this the faces lie out of reach (0: never)
    double most2;   // above this likewise
};
inline FaceReach solenoidFaceReach(const SolenoidData& d, double t0, double t1) {
    const double reach = t1 > t0 ? kSpeedOfLight * (t1 - t0) : 0;
    const double inner = std::fabs(d.radius) - reach;
    const double outer = std::fabs(d.outerRadius) + reach;
    // Margins far above rounding: the test may only err towards a search.
    return {inner > 0 ? inner * inner * (1 - 1e-6) : 0, outer * outer * (1 + 1e-6)};
}
