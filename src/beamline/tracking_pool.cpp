#include "beamline/tracking_pool.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class Pool {
  public:
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    void run(int count, const std::function<void(int)>& job) {
        while (static_cast<int>(threads_.size()) < count - 1) {
            // A new thread waits for the step about to be handed out, not
            // for one that finished before it existed.
            int index = static_cast<int>(threads_.size()) + 1;
            unsigned long long now = generation_;
            threads_.emplace_back([this, index, now] { serve(index, now); });
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            wanted_ = count;
            remaining_ = count - 1;
            generation_++;
        }
        wake_.notify_all();
        job(0);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return remaining_ == 0; });
        job_ = nullptr;
    }

  private:
    void serve(int index, unsigned long long seen) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            if (index >= wanted_) continue;
            const std::function<void(int)>* job = job_;
            lock.unlock();
            (*job)(index);
            lock.lock();
            if (--remaining_ == 0) done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;  // a new step, or the end of the process
    std::condition_variable done_;  // the last pool thread of a step finished
    std::vector<std::thread> threads_;
    const std::function<void(int)>* job_ = nullptr;
    unsigned long long generation_ = 0;  // steps handed out so far
    int wanted_ = 0;                     // threads 1 .. wanted_ - 1 take part
    int remaining_ = 0;                  // of those, still working
    bool stopping_ = false;
};

}  // namespace

void poolRun(int count, const std::function<void(int)>& job) {
    if (count <= 1) {
        job(0);
        return;
    }
    static Pool pool;
    pool.run(count, job);
}
