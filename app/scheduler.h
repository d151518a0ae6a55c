// The scheduler thread: a tick a second, the daily report every 600 ticks,
// the monthly report every 21600 ticks inside its hour windows.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrune {

struct AppState;

struct TickPlan {
  bool daily = false;
  bool monthly = false;  // after the daily run when both
};

// What tick number `tick` (from 1) does at local hour `hour`.
TickPlan planTick(uint32_t tick, int hour);

// The thread's body: runs until `stop` becomes true (checked once a tick).
// Sleeps and reads the time through the platform clock.
void runScheduler(AppState& app, const std::atomic<bool>& stop);

}  // namespace kestrune
