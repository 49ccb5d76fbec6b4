#include "beamline/tracking/pool.hpp"

#include <chrono>

#include "platform/clock.hpp"

namespace {

// A step is short (a fraction of a millisecond with a few thousand
// particles), so waking a sleeping thread through the kernel costs a real
// share of it. Where the plan allows spinning, threads spin this long for
// the next step or for the others to finish before they sleep.
constexpr std::chrono::microseconds kSpin{200};

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Spins until ready() or until kSpin has passed; true when ready.
template <class Ready>
bool spinFor(Ready ready) {
    auto until = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        for (int i = 0; i < 64; i++) {
            if (ready()) return true;
            cpuRelax();
        }
        if (std::chrono::steady_clock::now() >= until) return ready();
    }
}

}  // namespace

TrackingPool::~TrackingPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_.store(true);
        step_.store(((step_.load() >> 32) + 1) << 32);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void TrackingPool::work(int index) {
    if (!shared_) {
        (*job_)(index);
        return;
    }
    for (int k = nextSlice_.fetch_add(1, std::memory_order_relaxed); k < count_;
         k = nextSlice_.fetch_add(1, std::memory_order_relaxed)) {
        (*job_)(k);
    }
}

MachineLoad TrackingPool::currentLoad() {
    return loadSource_ ? loadSource_() : watch_.load(monotonicSeconds());
}

int TrackingPool::participantsFor(int count) {
    return count <= 1 ? 1 : planPool(count, currentLoad()).participants;
}

void TrackingPool::run(int count, const std::function<void(int)>& job) {
    folded_ = false;
    if (count <= 1) {
        job(0);
        return;
    }
    PoolPlan plan = planPool(count, currentLoad());
    folded_ = plan.participants < count;
    if (plan.participants <= 1) {
        // No core to spare: the slices run one after the other here, which
        // is what a thread sharing a busy core would have cost anyway, less
        // the waiting.
        for (int k = 0; k < count; k++) job(k);
        return;
    }
    while (static_cast<int>(threads_.size()) < plan.participants - 1) {
        // A new thread waits for the step about to be handed out, not
        // for one that finished before it existed.
        int index = static_cast<int>(threads_.size()) + 1;
        uint64_t now = step_.load() >> 32;
        threads_.emplace_back([this, index, now] { serve(index, now); });
    }
    job_ = &job;
    count_ = count;
    shared_ = folded_;
    nextSlice_.store(0, std::memory_order_relaxed);
    spin_.store(plan.spin, std::memory_order_relaxed);
    remaining_.store(plan.participants - 1, std::memory_order_relaxed);
    uint64_t generation = (step_.load(std::memory_order_relaxed) >> 32) + 1;
    step_.store(generation << 32 | static_cast<uint32_t>(plan.participants));
    // Spinning threads see the new step by themselves. One that may be on
    // its way to sleep counted itself first (both sides sequentially
    // consistent, so one of them sees the other), and taking the lock once
    // means it is either still to look at the step or already waiting when
    // the notification comes.
    if (sleepers_.load() > 0) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        wake_.notify_all();
    }
    work(0);
    auto finished = [this] { return remaining_.load() == 0; };
    if (!plan.spin || !spinFor(finished)) {
        std::unique_lock<std::mutex> lock(mutex_);
        callerAsleep_.store(true);
        done_.wait(lock, finished);
        callerAsleep_.store(false);
    }
    job_ = nullptr;
}

void TrackingPool::serve(int index, uint64_t seen) {
    for (;;) {
        // The generation and the participant count of a step are read as
        // one word: a thread left out of a step is not waited for, so by
        // the time it looked again at a separate count, that count could
        // belong to a later step it has not been handed.
        uint64_t word = 0;
        auto next = [&] {
            word = step_.load();
            return word >> 32 != seen;
        };
        // The spin setting of the step just finished stands for the next:
        // a thread that must not spin goes straight to sleep.
        if (!(spin_.load(std::memory_order_relaxed) && spinFor(next))) {
            std::unique_lock<std::mutex> lock(mutex_);
            sleepers_.fetch_add(1);
            wake_.wait(lock, next);
            sleepers_.fetch_sub(1);
        }
        seen = word >> 32;
        if (stopping_.load()) return;
        if (index >= static_cast<int>(word & 0xffffffffu)) continue;
        work(index);
        if (remaining_.fetch_sub(1) == 1 && callerAsleep_.load()) {
            // The caller stopped spinning: wake it under the lock so that
            // the notification cannot fall between its check and its wait
            // (it marked itself asleep before its check).
            std::lock_guard<std::mutex> lock(mutex_);
            done_.notify_one();
        }
    }
}
