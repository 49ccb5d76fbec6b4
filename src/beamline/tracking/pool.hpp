// The tracking threads of one engine: started when a step first needs them
// and kept until the engine ends, because starting threads for every step
// would cost more than a short step takes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TrackingPool {
  public:
    TrackingPool() = default;
    TrackingPool(const TrackingPool&) = delete;
    TrackingPool& operator=(const TrackingPool&) = delete;
    // Joins the threads.
    ~TrackingPool();

    // Runs job(k) for k = 1 .. count - 1 on pool threads and job(0) on the
    // calling thread, and returns when all have finished. count 1 runs job(0)
    // alone and never touches the pool. The owner's thread only.
    void run(int count, const std::function<void(int)>& job);

  private:
    void serve(int index, uint64_t seen);

    std::mutex mutex_;
    std::condition_variable wake_;  // a new step, or the end of the engine
    std::condition_variable done_;  // the last pool thread of a step finished
    std::vector<std::thread> threads_;
    const std::function<void(int)>* job_ = nullptr;
    // Steps handed out so far (high half) and the thread count of the
    // latest (low half): threads 1 .. count - 1 take part.
    std::atomic<uint64_t> step_{0};
    std::atomic<int> remaining_{0};  // of those, still working
    std::atomic<bool> stopping_{false};
};
