// The scheduler thread: a tick a second, the daily report every 600 ticks,
// the monthly report every 21600 ticks inside its hour windows (one that falls
// due outside them at the first daily run inside), and a daily report
// whenever one is asked for now (app/report_now.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace kestrune {

struct AppState;
struct RunOutcome;

// Whether tick number `tick` (from 1) makes the daily run.
bool isDailyTick(uint32_t tick);

// True when the monthly report may run at this local hour (15-22, 1-2).
bool monthlyHour(int hour);

// After the daily run of a daily tick: whether the monthly run follows now.
// The monthly run falls due every 21600 ticks (`due` is set) and is made at
// the first daily run inside its hours, at once when the due tick is.
bool monthlyFollows(uint32_t tick, int hour, bool* due);

struct SchedulerJobs {
  std::function<void()> daily;
  std::function<void()> monthly;
  std::function<RunOutcome()> dailyNow;  // the daily run asked for now
};

// The thread's body: tick after tick until `stop` becomes true (checked every
// tick). A tick is a second; KESTRUNE_TICK_MS (1 to 1000) shortens it for
// tests. Sleeps and reads the local hour through the platform clock, adds 1
// to tickCount and asks the window to repaint after every tick. A job that
// throws is reported and the thread goes on. A run asked for now wakes the
// sleep and runs at once; the tick it cut short then starts again, so that
// the ticks of the schedule stay whole seconds.
void runTicks(AppState& app, const SchedulerJobs& jobs, const std::atomic<bool>& stop);

// runTicks with the report runs: the daily run followed by the closed
// periods when it reached the server, the monthly run, the daily run asked for now.
void runScheduler(AppState& app, const std::atomic<bool>& stop);

}  // namespace kestrune
