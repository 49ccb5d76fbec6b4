#include "platform/file_faults.hpp"

#include <atomic>

namespace {

// 0: disarmed. The fast path of every file step is one relaxed load.
std::atomic<int64_t> failAt{0};
std::atomic<bool> failLater{false};
std::atomic<bool> fired{false};
std::atomic<int64_t> steps{0};

}  // namespace

void fileFaultsArm(int64_t n, bool persistent) {
    steps.store(0);
    fired.store(false);
    failLater.store(persistent);
    failAt.store(n < 1 ? 1 : n);
}

void fileFaultsDisarm() {
    failAt.store(0);
}

bool fileFaultsFired() {
    return fired.load();
}

int64_t fileFaultsSteps() {
    return steps.load();
}

bool fileFaultHere(FileStep) {
    int64_t step = steps.fetch_add(1) + 1;
    int64_t at = failAt.load(std::memory_order_relaxed);
    if (at == 0) return false;
    if (step == at || (step > at && failLater.load())) {
        fired.store(true);
        return true;
    }
    return false;
}
