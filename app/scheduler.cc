#include "app/scheduler.h"

#include <cstdlib>
#include <exception>
#include <string>

#include "app/app_state.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/window.h"

namespace kestrune {

namespace {

constexpr uint32_t kDailyTicks = 600;     // 10 minutes
constexpr uint32_t kMonthlyTicks = 21600; // 6 hours

// The length of a tick: a second, or KESTRUNE_TICK_MS milliseconds (1 to
// 1000) for tests that need the schedule to pass quickly. The schedule
// counts ticks, so with 10 ms a daily run comes every 6 seconds.
int tickMillis() {
  static const int ms = [] {
    const char* text = std::getenv("KESTRUNE_TICK_MS");
    int value = text ? std::atoi(text) : 0;
    return value >= 1 && value <= 1000 ? value : 1000;
  }();
  return ms;
}

void runGuarded(const std::function<void()>& job, const char* what) {
  if (!job) return;
  try {
    job();
  } catch (const std::exception& e) {
    showError("SCHEDULER", std::string(what) + " failed: " + e.what());
  } catch (...) {
    showError("SCHEDULER", std::string(what) + " failed");
  }
}

}  // namespace

bool monthlyHour(int hour) { return (hour >= 15 && hour <= 22) || hour == 1 || hour == 2; }

TickPlan planTick(uint32_t tick, int hour) {
  TickPlan plan;
  plan.daily = tick % kDailyTicks == 0;
  plan.monthly = tick % kMonthlyTicks == 0 && monthlyHour(hour);
  return plan;
}

void runTicks(AppState& app, const SchedulerJobs& jobs, const std::atomic<bool>& stop) {
  for (uint32_t tick = 1; !stop.load(); ++tick) {
    sleepMillis(tickMillis());
    if (stop.load()) break;
    if (planTick(tick, 0).daily) runGuarded(jobs.daily, "daily report");
    // The hour is read after the daily run, and only on a monthly tick: a run
    // that ends past the hour decides by the hour it ended in.
    if (tick % kMonthlyTicks == 0 && planTick(tick, localNow().tm_hour).monthly)
      runGuarded(jobs.monthly, "monthly report");
    app.tickCount.fetch_add(1);
    requestRepaint(app.mainWindow);
  }
}

}  // namespace kestrune
