// Time: sleeping and monotonic clocks.
#pragma once

#include <cstdint>
#include <string>

void sleepMs(uint32_t milliseconds);
// Milliseconds of a monotonic clock, wrapping like a 32-bit tick counter.
uint32_t tickCountMs();
// Seconds of a monotonic clock with sub-microsecond resolution.
double monotonicSeconds();
// Seconds since the epoch (wall clock), for file ages.
int64_t wallClockSeconds();
// The local date and time as "YYYY-MM-DD HH:MM:SS", for log headers.
std::string localDateTimeText();
// The current UTC date as "yyyyMMdd" and time as "HHmmss".
void utcDateAndTime(std::string& date, std::string& time);
