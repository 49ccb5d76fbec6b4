#include "beamline/tracking/spin_policy.hpp"

#include <gtest/gtest.h>

namespace {

TEST(SpinPolicy, ThreadsTakePartOnlyWithACoreAndSpinOnlyWhenNobodyNeedsIt) {
    struct Case {
        const char* what;
        int count;
        MachineLoad load;
        int participants;
        bool spin;
    };
    const Case cases[] = {
        {"one slice never uses the pool", 1, {8, 0, false}, 1, false},
        {"idle two-core machine", 2, {2, 0, false}, 2, true},
        {"before the first reading: all, blocking", 2, {2, -1, false}, 2, false},
        {"the other core kept busy: fold", 2, {2, 1.0, false}, 1, false},
        {"a quarter of a core taken still counts as free", 2, {2, 0.25, false}, 2, true},
        {"more than a quarter taken does not", 2, {2, 0.3, false}, 1, false},
        {"idle priority never spins", 2, {2, 0, true}, 2, false},
        {"idle priority on a busy machine folds", 2, {2, 1.0, true}, 1, false},
        {"more threads than cores", 8, {4, 0, false}, 4, true},
        {"one of four taken", 4, {4, 1.0, false}, 3, true},
        {"every core taken", 4, {4, 4.0, false}, 1, false},
        {"a reading above the core count", 2, {2, 3.0, false}, 1, false},
        {"a machine far larger than the step", 3, {64, 10, false}, 3, true},
    };
    for (const Case& c : cases) {
        PoolPlan plan = planPool(c.count, c.load);
        EXPECT_EQ(plan.participants, c.participants) << c.what;
        EXPECT_EQ(plan.spin, c.spin) << c.what;
    }
}

}  // namespace
