// The tracking threads: started when a step first needs them and kept for
// the life of the process, because starting threads for every step would
// cost more than a short step takes.
#pragma once

#include <functional>

// Runs job(k) for k = 1 .. count - 1 on pool threads and job(0) on the
// calling thread, and returns when all have finished. count 1 runs job(0)
// alone and never touches the pool. Main thread only.
void poolRun(int count, const std::function<void(int)>& job);
