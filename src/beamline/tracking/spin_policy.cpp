#include "beamline/tracking/spin_policy.hpp"

#include <algorithm>
#include <cmath>

namespace {

// A core counts as free when other programs leave at least this share of it:
// a thread on a core that is busy a quarter of the time still gains more
// than the step waits for it, one on a core half taken does not.
constexpr double kFreeShare = 0.75;

}  // namespace

PoolPlan planPool(int count, const MachineLoad& load) {
    PoolPlan plan;
    if (count <= 1) return plan;
    if (load.otherBusy < 0) {
        // Until the first reading, every slice gets its thread, but nobody
        // spins: blocking costs a little speed, spinning on a core that
        // another program needs would cost the step far more.
        plan.participants = count;
        return plan;
    }
    double free = static_cast<double>(load.cores) - load.otherBusy;
    int usable = static_cast<int>(std::floor(free + (1 - kFreeShare)));
    plan.participants = std::clamp(usable, 1, count);
    // Every participant has a core that would otherwise idle, so spinning
    // on it takes nothing from anyone; at idle priority the process wants
    // no more than the steps themselves, so it never burns time waiting.
    plan.spin = plan.participants >= 2 && !load.idlePriority;
    return plan;
}
