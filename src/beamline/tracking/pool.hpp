// The tracking threads of one engine: started when a step first needs them
// and kept until the engine ends, because starting threads for every step
// would cost more than a short step takes.
//
// The pool never costs more than it gives: before a step it looks at how
// busy other programs keep the machine (MachineWatch, planPool). Threads
// without a free core of their own do not take part, their slices run on
// those that do, down to all of them on the calling thread; and waiting
// threads spin only while every participant has a core to itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "beamline/tracking/machine_watch.hpp"
#include "beamline/tracking/spin_policy.hpp"

class TrackingPool {
  public:
    TrackingPool() = default;
    TrackingPool(const TrackingPool&) = delete;
    TrackingPool& operator=(const TrackingPool&) = delete;
    // Joins the threads.
    ~TrackingPool();

    // Runs job(k) once for every k = 0 .. count - 1 and returns when all
    // have finished. With every thread taking part, job(k) runs on pool
    // thread k and job(0) on the calling thread; otherwise the slices are
    // shared out among the threads that take part (see lastRunFolded).
    // count 1 runs job(0) alone and never touches the pool. The owner's
    // thread only.
    void run(int count, const std::function<void(int)>& job);

    // True when the latest run did not give every slice its own thread, so
    // that per-thread timings say nothing about the slices' weights.
    bool lastRunFolded() const { return folded_; }

    // How many threads would take part in a run of `count` slices now, by
    // the machine's latest load reading (the one run would use).
    int participantsFor(int count);

    // Replaces the machine's load readings (tests, benchmarks).
    void setLoadSource(std::function<MachineLoad()> source) { loadSource_ = std::move(source); }

  private:
    void serve(int index, uint64_t seen);
    // The machine's load as the next run plans by it.
    MachineLoad currentLoad();
    // The part of a step that thread `index` does.
    void work(int index);

    std::mutex mutex_;
    std::condition_variable wake_;  // a new step, or the end of the engine
    std::condition_variable done_;  // the last pool thread of a step finished
    std::vector<std::thread> threads_;
    const std::function<void(int)>* job_ = nullptr;
    // The step word and the count of working threads each have a cache line
    // of their own: the waiting threads poll the word while the caller
    // writes the step's settings, and the caller polls the count while the
    // threads finish.
    // Steps handed out so far (high half) and the number of threads taking
    // part in the latest (low half): threads 1 .. participants - 1.
    alignas(64) std::atomic<uint64_t> step_{0};
    alignas(64) std::atomic<int> remaining_{0};  // of those, still working
    // Pool threads asleep or on their way to sleep, and whether the caller
    // is, so that a step's start and end wake through the kernel only
    // those that need it.
    std::atomic<int> sleepers_{0};
    std::atomic<bool> callerAsleep_{false};
    alignas(64) std::atomic<bool> stopping_{false};
    std::atomic<bool> spin_{false};  // whether waiting threads spin first
    // The slices of the latest step and, when the threads taking part are
    // fewer, the next slice not yet claimed. Written before the step word.
    int count_ = 0;
    bool shared_ = false;
    std::atomic<int> nextSlice_{0};
    bool folded_ = false;
    MachineWatch watch_;
    std::function<MachineLoad()> loadSource_;
};
