#include "platform/clock.hpp"

#include <time.h>

#include <cerrno>
#include <ctime>

void sleepMs(uint32_t milliseconds) {
    struct timespec request {
        static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
    };
    struct timespec remaining {};
    while (::nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

uint32_t tickCountMs() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

double monotonicSeconds() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int64_t wallClockSeconds() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec);
}

std::string localDateTimeText() {
    time_t now = ::time(nullptr);
    char stamp[32] = "";
    struct tm local {};
    if (::localtime_r(&now, &local) != nullptr) {
        ::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    }
    return stamp;
}

void utcDateAndTime(std::string& date, std::string& time) {
    std::time_t now = std::time(nullptr);
    struct tm utc {};
    char d[16] = "00000000", t[16] = "000000";
    if (gmtime_r(&now, &utc) != nullptr) {
        std::strftime(d, sizeof d, "%Y%m%d", &utc);
        std::strftime(t, sizeof t, "%H%M%S", &utc);
    }
    date = d;
    time = t;
}
