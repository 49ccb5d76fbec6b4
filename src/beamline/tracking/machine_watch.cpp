#include "beamline/tracking/machine_watch.hpp"

#include <cmath>

#include "platform/process.hpp"

namespace {

// The first reading needs a partner soon, so that a run on a busy machine
// does not spend long with threads that have no core; later ones average
// over a longer window, which the kernel's tick counts make less grainy.
constexpr double kFirstInterval = 0.05;
constexpr double kInterval = 0.25;
// A short window holds a few ticks per processor, so one tick more or less
// moves its figure by a fifth of a core: enough to fold the threads of an
// idle machine, or to unfold them on a busy one, for a whole long window.
// A reading that moved this far from the one before is checked again after
// a short window.
constexpr double kMoved = 0.2;

}  // namespace

MachineLoad MachineWatch::load(double now) {
    if (!cpu_) {
        cpu_ = std::make_unique<CpuLoad>();
        last_ = cpu_->read();
        lastAt_ = now;
        current_.cores = cpu_->cpuCount();
        current_.idlePriority = runningAtIdlePriority();
        return current_;
    }
    double wait = current_.otherBusy < 0 || recheck_ ? kFirstInterval : kInterval;
    if (now - lastAt_ >= wait || now < lastAt_) {
        CpuReading reading = cpu_->read();
        double others = otherBusyCores(last_, reading, cpu_->ticksPerSecond());
        // A window with no ticks keeps the old figure rather than forgetting it.
        if (others >= 0) {
            recheck_ = current_.otherBusy < 0 || std::fabs(others - current_.otherBusy) >= kMoved;
            current_.otherBusy = others;
        }
        if (reading.ticks.ok) {
            current_.cores = reading.ticks.count > 0 ? reading.ticks.count : cpu_->cpuCount();
        }
        current_.idlePriority = runningAtIdlePriority();
        last_ = reading;
        lastAt_ = now;
    }
    return current_;
}
