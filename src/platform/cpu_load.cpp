#include "platform/cpu_load.hpp"

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace {

// Columns of a cpu line: user nice system idle iowait irq softirq steal
// guest guest_nice. Guest time is already inside user and nice, so it is
// left out; iowait is a waiting core, free for computing.
constexpr int kColumns = 8;
constexpr int kIdle = 3, kIoWait = 4;

bool parseCpuLine(std::string_view rest, CpuTicks& into) {
    unsigned long long column[kColumns] = {};
    int found = 0;
    const char* p = rest.data();
    const char* end = rest.data() + rest.size();
    while (found < kColumns) {
        while (p < end && *p == ' ') p++;
        if (p == end) break;
        auto [next, error] = std::from_chars(p, end, column[found]);
        if (error != std::errc()) return false;
        p = next;
        found++;
    }
    // Kernels older than any we run on had only four columns.
    if (found < 4) return false;
    for (int i = 0; i < kColumns; i++) {
        (i == kIdle || i == kIoWait ? into.idle : into.busy) += column[i];
    }
    return true;
}

}  // namespace

CpuTicks parseProcStat(std::string_view text, const std::vector<int>& cpus) {
    CpuTicks ticks;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.substr(0, 3) != "cpu") continue;
        std::string_view rest = line.substr(3);
        bool summary = !rest.empty() && rest[0] == ' ';
        if (cpus.empty() != summary) continue;
        if (!summary) {
            int number = -1;
            auto [next, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
            if (error != std::errc()) continue;
            if (std::find(cpus.begin(), cpus.end(), number) == cpus.end()) continue;
            rest.remove_prefix(static_cast<size_t>(next - rest.data()));
        }
        // A damaged line makes the whole reading worthless: a sum that
        // silently lacks a processor would look like a sudden idle core.
        if (!parseCpuLine(rest, ticks)) return CpuTicks();
        ticks.ok = true;
        // The summary line does not say how many processors it covers.
        if (!summary) ticks.count++;
    }
    return ticks;
}

double otherBusyCores(const CpuReading& before, const CpuReading& after, double ticksPerSecond) {
    if (!before.ticks.ok || !after.ticks.ok || !(ticksPerSecond > 0)) return -1;
    if (after.ticks.busy < before.ticks.busy || after.ticks.idle < before.ticks.idle) return -1;
    unsigned long long busy = after.ticks.busy - before.ticks.busy;
    unsigned long long all = busy + (after.ticks.idle - before.ticks.idle);
    int cores = std::max(1, after.ticks.count);
    if (all == 0) return -1;
    // The wall time the window covers, as the kernel counted it on these
    // processors: every processor gains one tick per tick of the clock.
    double window = static_cast<double>(all) / ticksPerSecond / cores;
    double others =
        static_cast<double>(busy) / ticksPerSecond - (after.ownSeconds - before.ownSeconds);
    return std::clamp(others / window, 0.0, static_cast<double>(cores));
}

CpuLoad::CpuLoad() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int i = 0; i < CPU_SETSIZE; i++) {
            if (CPU_ISSET(i, &set)) cpus_.push_back(i);
        }
    }
    long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    fallbackCount_ = online > 0 ? static_cast<int>(online) : 1;
    long hz = ::sysconf(_SC_CLK_TCK);
    if (hz > 0) ticksPerSecond_ = static_cast<double>(hz);
}

CpuReading CpuLoad::read() const {
    CpuReading reading;
    std::ifstream in("/proc/stat");
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        reading.ticks = parseProcStat(text.str(), cpus_);
        if (cpus_.empty()) reading.ticks.count = fallbackCount_;
    }
    struct timespec ts {};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) == 0) {
        reading.ownSeconds =
            static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
    }
    return reading;
}
