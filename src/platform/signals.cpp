#include "platform/signals.hpp"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onStopSignal(int) {
    stopFlag.store(true);
}

}  // namespace

void installStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and waits go on; the flag is looked at between steps.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool stopRequested() {
    return stopFlag.load();
}

void requestStop() {
    stopFlag.store(true);
}

void clearStopRequest() {
    stopFlag.store(false);
}
