#include "beamline/tracking/pool.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

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

}  // namespace
