// The pool's view of the machine: the other programs' load, read from the
// kernel a few times a second (a reading every step would cost more than it
// tells), and whether this process runs at idle priority.
#pragma once

#include <memory>

#include "beamline/tracking/spin_policy.hpp"
#include "platform/cpu_load.hpp"

class MachineWatch {
  public:
    // The latest load; reads the kernel again when the last reading is older
    // than the interval. `now`: monotonic seconds.
    MachineLoad load(double now);

  private:
    std::unique_ptr<CpuLoad> cpu_;  // made on the first multi-threaded step
    CpuReading last_;
    double lastAt_ = 0;
    MachineLoad current_;
    bool recheck_ = false;  // the latest figure moved far: read again soon
};
