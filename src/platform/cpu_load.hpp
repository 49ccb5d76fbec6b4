// How busy the other programs keep the processors this process may run on,
// so that the tracking threads take only the cores that are really free.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Busy and idle clock ticks summed over the processors in `cpus` (numbers as
// in the "cpuN" lines of /proc/stat); over all of them, from the summary
// line, when `cpus` is empty. count: the processors found. ok is false when
// the text holds none of them.
struct CpuTicks {
    unsigned long long busy = 0, idle = 0;
    int count = 0;
    bool ok = false;
};
CpuTicks parseProcStat(std::string_view text, const std::vector<int>& cpus);

// One reading: the processors' ticks and this process's own CPU seconds.
struct CpuReading {
    CpuTicks ticks;
    double ownSeconds = 0;
};

// Cores kept busy by everything but this process between two readings
// (0 .. count); ticksPerSecond as the kernel counts them. Negative when the
// readings say nothing (no ticks passed, unreadable).
double otherBusyCores(const CpuReading& before, const CpuReading& after, double ticksPerSecond);

// Reads /proc/stat for the processors this process may run on (its
// affinity), and its own CPU time.
class CpuLoad {
  public:
    CpuLoad();
    CpuReading read() const;
    // Processors this process may run on.
    int cpuCount() const { return cpus_.empty() ? fallbackCount_ : static_cast<int>(cpus_.size()); }
    double ticksPerSecond() const { return ticksPerSecond_; }

  private:
    std::vector<int> cpus_;  // empty: the affinity is unknown, use the summary line
    int fallbackCount_ = 1;
    double ticksPerSecond_ = 100;
};
