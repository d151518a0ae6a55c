#include "app/scheduler.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/report_now.h"
#include "app/report_runs.h"
#include "platform/clock.h"
#include "platform/control.h"
#include "platform/errors.h"

namespace kestrune {

namespace {

constexpr uint32_t kDailyTicks = 600;      // 10 minutes
constexpr uint32_t kMonthlyTicks = 21600;  // 6 hours

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

// A scheduled run; a click meanwhile is dropped.
void runScheduled(AppState& app, const std::function<void()>& job, const char* what) {
  markRunning(app.reportNow, true);
  runGuarded(job, what);
  markRunning(app.reportNow, false);
}

// The run asked for now, if any; its outcome goes to those who wait for it.
void runAsked(AppState& app, const SchedulerJobs& jobs) {
  std::vector<ReportReply> replies;
  if (!takeAskedRun(app.reportNow, &replies)) return;
  RunOutcome outcome;
  outcome.reason = "the report run failed";  // kept when the run throws
  if (jobs.dailyNow) runGuarded([&] { outcome = jobs.dailyNow(); }, "daily report");
  markRunning(app.reportNow, false);
  refreshStatus();
  for (const ReportReply& reply : replies) reply(outcome);
}

}  // namespace

bool monthlyHour(int hour) { return (hour >= 15 && hour <= 22) || hour == 1 || hour == 2; }

bool monthlyFollows(uint32_t tick, int hour, bool* due) {
  if (tick % kMonthlyTicks == 0) *due = true;
  if (!*due || !monthlyHour(hour)) return false;
  *due = false;
  return true;
}

bool isDailyTick(uint32_t tick) { return tick % kDailyTicks == 0; }

void runTicks(AppState& app, const SchedulerJobs& jobs, const std::atomic<bool>& stop) {
  bool monthlyDue = false;
  for (uint32_t tick = 1; !stop.load();) {
    bool woken = sleepMillisUnlessWoken(tickMillis(), app.reportNow.wake);
    if (stop.load()) break;
    runAsked(app, jobs);
    if (woken) continue;
    if (isDailyTick(tick)) {
      runScheduled(app, jobs.daily, "daily report");
      // The hour is read after the daily run: a run that ends past the hour
      // decides by the hour it ended in.
      if (monthlyFollows(tick, localNow().tm_hour, &monthlyDue))
        runScheduled(app, jobs.monthly, "monthly report");
    }
    app.shared.status.tickCount.fetch_add(1);
    refreshStatus();
    ++tick;
  }
}

void runScheduler(AppState& app, const std::atomic<bool>& stop) {
  SchedulerJobs jobs;
  jobs.daily = [&app] { runDailyReportThenClosed(app.reports, app.shared); };
  jobs.monthly = [&app] { runMonthlyReport(app.reports, app.shared); };
  jobs.dailyNow = [&app] { return runDailyReport(app.reports, app.shared); };
  runTicks(app, jobs, stop);
}

}  // namespace kestrune
