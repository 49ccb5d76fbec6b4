#include "beamline/tracking/pool.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Rounds whose thread count rises and falls, some with a pause long enough
// for the pool threads to give up spinning and sleep: every wanted index
// runs exactly once per round, the others never, and the round has ended
// for all of them when run returns.
TEST(TrackingPool, EachWantedThreadRunsOncePerRoundWhateverTheCountBefore) {
    constexpr int kMax = 4;
    const int counts[] = {2, 4, 1, 3, 2, 4, 4, 2, 3, 1, 2, 4, 3};
    std::array<std::atomic<int>, kMax> runs{};
    TrackingPool pool;
    pool.setLoadSource([] { return MachineLoad{16, 0, false}; });
    for (int round = 0; round < 300; round++) {
        int count = counts[round % std::size(counts)];
        for (auto& r : runs) r = 0;
        std::atomic<int> finished{0};
        pool.run(count, [&](int k) {
            ASSERT_GE(k, 0);
            ASSERT_LT(k, count);
            runs[static_cast<size_t>(k)]++;
            finished++;
        });
        EXPECT_EQ(finished.load(), count) << "round " << round;
        for (int k = 0; k < kMax; k++) {
            EXPECT_EQ(runs[static_cast<size_t>(k)].load(), k < count ? 1 : 0)
                << "round " << round << " thread " << k;
        }
        if (round % 37 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Machines from idle to fully taken, the load changing between rounds: every
// slice still runs exactly once; a run is folded exactly when some slice had
// no thread of its own, and a run with no core to spare stays on the caller.
TEST(TrackingPool, EverySliceRunsOnceHoweverFewThreadsTakePart) {
    struct Case {
        MachineLoad load;
        int count;
        bool folded;
        bool callerOnly;
    };
    const Case cases[] = {
        {{4, 0, false}, 4, false, false},    // a core for every thread
        {{4, 0, true}, 4, false, false},     // idle priority: no spinning, all take part
        {{4, -1, false}, 4, false, false},   // not read yet: all take part
        {{4, 1.0, false}, 4, true, false},   // three of four threads
        {{4, 2.9, false}, 3, true, true},    // barely one core left
        {{2, 1.0, false}, 2, true, true},    // the other core is taken
        {{2, 0.2, false}, 2, false, false},  // a light load leaves both
        {{8, 4.0, false}, 7, true, false},   // four of seven
    };
    TrackingPool pool;
    MachineLoad current;
    pool.setLoadSource([&current] { return current; });
    for (int round = 0; round < 200; round++) {
        const Case& c = cases[static_cast<size_t>(round) % std::size(cases)];
        current = c.load;
        std::vector<std::atomic<int>> runs(static_cast<size_t>(c.count));
        std::atomic<int> elsewhere{0};
        const std::thread::id caller = std::this_thread::get_id();
        pool.run(c.count, [&](int k) {
            runs[static_cast<size_t>(k)]++;
            if (std::this_thread::get_id() != caller) elsewhere++;
        });
        for (int k = 0; k < c.count; k++) {
            EXPECT_EQ(runs[static_cast<size_t>(k)].load(), 1)
                << "case " << round % std::size(cases) << " slice " << k;
        }
        EXPECT_EQ(pool.lastRunFolded(), c.folded) << "case " << round % std::size(cases);
        if (c.callerOnly) {
            EXPECT_EQ(elsewhere.load(), 0) << "case " << round % std::size(cases);
        }
        if (round % 23 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Threads and caller wake through the kernel only when the other side
// counted itself asleep. Rounds that alternate spinning and sleeping plans,
// with slices of uneven length so that either side may finish first, must
// all end: a lost wake-up would leave run waiting for ever.
TEST(TrackingPool, NoRoundWaitsForeverWhenThreadsAndCallerSleep) {
    TrackingPool pool;
    int round = 0;
    pool.setLoadSource([&round] { return MachineLoad{4, 0, round % 3 != 0}; });
    std::atomic<long> total{0};
    for (; round < 3000; round++) {
        pool.run(3, [&](int k) {
            // Some microseconds of work, longest on a different slice each round.
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::microseconds((round + k) % 3 == 0 ? 20 : 1);
            while (std::chrono::steady_clock::now() < until) {
            }
            total++;
        });
    }
    EXPECT_EQ(total.load(), 3 * 3000);
}

}  // namespace
