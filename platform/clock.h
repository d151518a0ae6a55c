// Time for the agent: the current time, local calendar time and sleeping.
// Tests replace the clock and the sleeper to put "now" anywhere and to run
// thousands of scheduler ticks without waiting.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace kestrune {

// Seconds since 1970-01-01 UTC, from the replaceable clock.
int64_t nowSeconds();

// `t` as local calendar time in the process's time zone.
std::tm localTimeOf(int64_t t);

// Local calendar time of nowSeconds().
std::tm localNow();

// Blocks the calling thread for `ms` milliseconds (the replaceable sleeper).
void sleepMillis(int ms);

using ClockSource = std::function<int64_t()>;
using Sleeper = std::function<void(int ms)>;

// Replace the clock or the sleeper; an empty function restores the real one.
// Set them before other threads start using them.
void setClockSource(ClockSource clock);
void setSleeper(Sleeper sleeper);

}  // namespace kestrune
