// The scheduler's decisions, and its thread body driven by a fake clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/app_state.h"
#include "app/report_now.h"
#include "app/scheduler.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "tests/support/faults.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

TEST(PlanTick, DailyEvery600Ticks) {
  EXPECT_FALSE(isDailyTick(1));
  EXPECT_FALSE(isDailyTick(599));
  EXPECT_TRUE(isDailyTick(600));
  EXPECT_FALSE(isDailyTick(601));
  EXPECT_TRUE(isDailyTick(1200));
}

// A fake clock that each sleep moves forward; the sleeper stops the
// scheduler after a given number of ticks.
struct FakeTime {
  int64_t now;
  std::atomic<bool> stop{false};
  uint32_t sleeps = 0;
  uint32_t stopAfter;
  FakeTime(int64_t start, uint32_t ticks) : now(start), stopAfter(ticks) {
    setClockSource([this] { return now; });
    setSleeper([this](int ms) {
      now += ms / 1000;
      if (++sleeps > stopAfter) stop = true;
    });
  }
  ~FakeTime() {
    setClockSource(nullptr);
    setSleeper(nullptr);
  }
};

using test::localStamp;

struct Runs {
  std::vector<std::string> log;
  SchedulerJobs jobs() {
    return {[this] { log.push_back("daily@" + std::to_string(localNow().tm_hour)); },
            [this] { log.push_back("monthly@" + std::to_string(localNow().tm_hour)); }, nullptr};
  }
  int count(const std::string& prefix) const {
    int n = 0;
    for (auto& l : log) n += l.rfind(prefix, 0) == 0;
    return n;
  }
};

TEST(RunTicks, FirstDailyRunComesAtTick600) {
  AppState app;
  Runs runs;
  {
    FakeTime time(localStamp(2026, 3, 10, 9, 0), 599);
    runTicks(app, runs.jobs(), time.stop);
  }
  EXPECT_EQ(0u, runs.log.size());
  EXPECT_EQ(599, app.shared.status.tickCount.load());
  {
    FakeTime time(localStamp(2026, 3, 10, 9, 0), 600);
    runTicks(app, runs.jobs(), time.stop);
  }
  EXPECT_EQ(std::vector<std::string>{"daily@9"}, runs.log);
  EXPECT_EQ(1199, app.shared.status.tickCount.load());
}

TEST(RunTicks, MonthlyAtTick21600DependsOnTheHourThen) {
  struct Case {
    int startHour, startMinute;
    bool monthly;
  } cases[] = {{20, 30, true},   // tick 21600 at 02:30
               {18, 30, false},  // 00:30
               {21, 0, false},   // 03:00
               {8, 59, false},   // 14:59
               {9, 0, true}};    // 15:00
  for (const Case& c : cases) {
    AppState app;
    Runs runs;
    FakeTime time(localStamp(2026, 3, 10, c.startHour, c.startMinute), 21600);
    runTicks(app, runs.jobs(), time.stop);
    EXPECT_EQ(c.monthly ? 1 : 0, runs.count("monthly")) << c.startHour << ":" << c.startMinute;
    EXPECT_EQ(36, runs.count("daily"));
    // on tick 21600 the daily run comes before the monthly one
    if (c.monthly) {
      EXPECT_EQ("daily", runs.log[runs.log.size() - 2].substr(0, 5));
    }
  }
}

// On tick 21600 the daily run comes first; the hour that decides the monthly
// run is the one the daily run ended in.
TEST(RunTicks, MonthlyDecidesByTheHourAfterTheDailyRun) {
  struct Case {
    int startHour, startMinute;
    bool monthly;
  } cases[] = {{8, 59, true},     // tick 21600 at 14:59, the daily run ends at 15:01
               {16, 59, false}};  // 22:59, the daily run ends at 23:01
  for (const Case& c : cases) {
    AppState app;
    Runs runs;
    FakeTime time(localStamp(2026, 3, 10, c.startHour, c.startMinute), 21600);
    SchedulerJobs jobs = runs.jobs();
    int dailyRuns = 0;
    SchedulerJobs slow{[&] {
                         jobs.daily();
                         if (++dailyRuns == 36) time.now += 120;  // two minutes on tick 21600
                       },
                       jobs.monthly, nullptr};
    runTicks(app, slow, time.stop);
    EXPECT_EQ(c.monthly ? 1 : 0, runs.count("monthly")) << c.startHour << ":" << c.startMinute;
  }
}

// A monthly run that falls due outside its hours is made at the first daily
// run inside them: a workstation on from 17:00 to 01:30 meets its due tick at
// 23:00 and still sends one.
TEST(RunTicks, AMonthlyRunDueOutsideItsHoursComesAtTheFirstDailyRunInside) {
  struct Case {
    int startHour;
    uint32_t ticks;
    std::vector<std::string> monthly;
  } cases[] = {{17, 30600, {"monthly@1"}},         // due 23:00, made 01:00
               {21, 64800, {"monthly@15"}},        // due 03:00 and 09:00: one, at 15:00
               {9, 21600 + 600, {"monthly@15"}}};  // due 15:00 inside: at once, once
  for (const Case& c : cases) {
    AppState app;
    Runs runs;
    FakeTime time(localStamp(2026, 3, 10, c.startHour, 0), c.ticks);
    runTicks(app, runs.jobs(), time.stop);
    std::vector<std::string> monthly;
    for (const std::string& l : runs.log)
      if (l.rfind("monthly", 0) == 0) monthly.push_back(l);
    EXPECT_EQ(c.monthly, monthly) << "from " << c.startHour << ":00";
  }
}

TEST(RunTicks, ASimulatedDayRunsTheExpectedJobs) {
  AppState app;
  Runs runs;
  // started at 09:00: candidate monthly ticks at 15:00, 21:00, 03:00, 09:00
  FakeTime time(localStamp(2026, 3, 10, 9, 0), 86400);
  runTicks(app, runs.jobs(), time.stop);
  EXPECT_EQ(144, runs.count("daily"));
  EXPECT_EQ(2, runs.count("monthly"));
  EXPECT_EQ(1, runs.count("monthly@15"));
  EXPECT_EQ(1, runs.count("monthly@21"));
  EXPECT_EQ(86400, app.shared.status.tickCount.load());
}

TEST(RunTicks, AThrowingJobIsReportedAndTheThreadGoesOn) {
  AppState app;
  test::CapturedErrors errors;
  int daily = 0;
  SchedulerJobs jobs{[&] {
                       ++daily;
                       throw std::runtime_error("boom");
                     },
                     nullptr, nullptr};
  FakeTime time(localStamp(2026, 3, 10, 9, 0), 1800);
  runTicks(app, jobs, time.stop);
  EXPECT_EQ(3, daily);
  EXPECT_EQ(3u, errors.count());
  EXPECT_EQ("SCHEDULER", errors.all()[0].first);
  EXPECT_EQ(1800, app.shared.status.tickCount.load());
}

// A stop asked for between two sleeps (before the first tick, or by the main
// thread while a report runs) ends the loop before it sleeps again: the agent
// does not wait out another tick to end.
TEST(RunTicks, StopBetweenSleepsEndsTheLoopBeforeTheNextSleep) {
  for (bool beforeStart : {true, false}) {
    SCOPED_TRACE(beforeStart ? "before the first tick" : "during the daily run");
    AppState app;
    FakeTime time(localStamp(2026, 3, 10, 9, 0), UINT32_MAX);
    time.stop = beforeStart;
    SchedulerJobs jobs{[&] { time.stop = true; }, nullptr, nullptr};
    runTicks(app, jobs, time.stop);
    EXPECT_EQ(beforeStart ? 0u : 600u, time.sleeps);
    EXPECT_EQ(beforeStart ? 0 : 600, app.shared.status.tickCount.load());
  }
}

// "Reporting Now" on the real clock: the asked-for run wakes the tick and
// runs on the scheduler's thread; a click during a run is dropped, a client
// that asks then gets a run of its own right after.
TEST(RunTicks, AskedRunsWakeTheThreadAndAClickDuringARunIsDropped) {
  AppState app;
  std::atomic<bool> stop{false}, release{false};
  std::atomic<int> runs{0};
  SchedulerJobs jobs;
  jobs.dailyNow = [&] {
    if (++runs == 1) test::waitFor([&] { return release.load(); });
    RunOutcome outcome;
    outcome.products = runs;
    return outcome;
  };
  std::thread scheduler([&] { runTicks(app, jobs, stop); });
  std::atomic<int> first{0}, second{0};
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // inside the first tick
  auto asked = std::chrono::steady_clock::now();
  askReportNowAndReply(app.reportNow, [&](const RunOutcome& o) { first = o.products; });
  test::waitFor([&] { return runs > 0; });
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(600))
      << "woken, not at the end of the tick";
  EXPECT_FALSE(askReportNow(app.reportNow)) << "a click while the run is in progress";
  askReportNowAndReply(app.reportNow, [&](const RunOutcome& o) { second = o.products; });
  release = true;
  test::waitFor([&] { return second != 0; });
  stop = true;
  scheduler.join();
  EXPECT_EQ(1, first.load());
  EXPECT_EQ(2, runs.load());
}

}  // namespace
}  // namespace kestrune
