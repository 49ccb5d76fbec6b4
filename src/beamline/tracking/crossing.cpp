// Crossing times: where along a step a signed distance changes sign.
#include <cmath>

#include "beamline/tracking/tracking.hpp"

namespace {

constexpr int kMaxIterations = 200;

struct Point {
    double t;
    double f;
};

double secant(Point a, Point b) {
    if (b.f == a.f) return 0.5 * (a.t + b.t);
    return b.t - b.f * (b.t - a.t) / (b.f - a.f);
}

// Inverse quadratic interpolation through three points; the midpoint of
// the bracket when the three distances are not distinct or the estimate
// leaves the bracket or lies on the side of the midpoint away from the end
// nearer the crossing.
double inverseQuadratic(const Point p[3], Point a, Point b) {
    double mid = 0.5 * (a.t + b.t);
    double f0 = p[0].f, f1 = p[1].f, f2 = p[2].f;
    if (f0 == f1 || f1 == f2 || f0 == f2) return mid;
    double t = p[0].t * f1 * f2 / ((f0 - f1) * (f0 - f2)) +
               p[1].t * f0 * f2 / ((f1 - f0) * (f1 - f2)) +
               p[2].t * f0 * f1 / ((f2 - f0) * (f2 - f1));
    if (!(t > a.t && t < b.t)) return mid;
    bool nearB = std::fabs(b.f) < std::fabs(a.f);
    if (nearB ? t < mid : t > mid) return mid;
    return t;
}

Crossing noCrossing(double time) {
    Crossing none;
    none.time = time;
    return none;
}

}  // namespace

Crossing findCrossing(const Particle& before, double t0, const Particle& after, double t1,
                      CrossingDistanceFn distance, const void* context, const ScatterData* table,
                      const StepContext& step) {
    Point a{t0, distance(before, t0, context)};
    Point b{t1, distance(after, t1, context)};
    // Most calls find no sign change. They hand back no particle: copying one
    // here cost a sixth of a particle-step among a few coils.
    if (a.f * b.f > 0) return noCrossing(t1);
    // A crossing at the very start is no crossing of this step; without this
    // a rounded secant could place it a hair after t0 and call it new.
    if (a.f == 0) return noCrossing(t0);

    Point recent[3] = {a, a, b};  // the last three points evaluated, oldest first
    double widthBefore = t1 - t0;
    for (int i = 0; i < kMaxIterations; i++) {
        double tc;
        switch (i % 3) {
            case 0:
                tc = secant(a, b);
                break;
            case 1:
                tc = inverseQuadratic(recent, a, b);
                break;
            default:
                // Bisect when the last cycle did not at least halve the
                // bracket (the secant can creep in from one side).
                tc = b.t - a.t > 0.501 * widthBefore ? 0.5 * (a.t + b.t) : secant(a, b);
                widthBefore = b.t - a.t;
                break;
        }
        Particle trial = before;
        matterStep(trial, t0, tc - t0, table, step);
        if (!(tc > a.t && tc < b.t)) return {trial, tc, tc > t0 ? 1 : 0};
        Point c{tc, distance(trial, tc, context)};
        recent[0] = recent[1];
        recent[1] = recent[2];
        recent[2] = c;
        if (a.f * c.f <= 0) {
            b = c;
        } else {
            a = c;
        }
    }
    return {after, t1, -1};
}
