// Time for the agent: the current time, local calendar time and sleeping.
// Tests replace the clock and the sleeper to put "now" anywhere and to run
// thousands of scheduler ticks without waiting.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>

namespace kestrune {

// Seconds since 1970-01-01 UTC, from the replaceable clock.
int64_t nowSeconds();

// `t` as local calendar time in the process's time zone.
std::tm localTimeOf(int64_t t);

// Local calendar time of nowSeconds().
std::tm localNow();

// Blocks the calling thread for `ms` milliseconds (the replaceable sleeper).
void sleepMillis(int ms);

// Lets another thread cut a sleep short (the scheduler's tick, for a report
// asked for now).
struct WakeSignal {
  std::mutex mutex;
  std::condition_variable raised;
  bool pending = false;
};

// sleepMillis, unless `wake` is raised before the time is up: then it returns
// at once, true. Either way the signal is lowered again. A replaced sleeper is
// called as it is (its time passes at once) and the result is false.
bool sleepMillisUnlessWoken(int ms, WakeSignal& wake);

// Wakes the thread sleeping on `wake`, or the next one to sleep on it. Any thread.
void raiseWake(WakeSignal& wake);

using ClockSource = std::function<int64_t()>;
using Sleeper = std::function<void(int ms)>;

// Replace the clock or the sleeper; an empty function restores the real one.
// Set them before other threads start using them.
void setClockSource(ClockSource clock);
void setSleeper(Sleeper sleeper);

}  // namespace kestrune
