#include "app/agent.h"

#include <atomic>
#include <exception>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/report_now.h"
#include "app/scheduler.h"
#include "app/status.h"
#include "db/company.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/window.h"
#include "app/report_runs.h"
#include "app/export_run.h"

namespace kestrune {

namespace {

// Runs one job; an unexpected exception is reported and the agent goes on.
template <typename Job>
void guarded(const char* caption, Job job) {
  try {
    job();
  } catch (const std::exception& e) {
    showError(caption, std::string("unexpected error: ") + e.what());
  } catch (...) {
    showError(caption, "unexpected error");
  }
}

// The answers to clients that asked for a run (kestrune send 0x488, kestrune
// report): "ok:" only when the file reached the server.
std::string exportAnswer(const RunOutcome& outcome) {
  if (!outcome.uploaded)
    return "error: export finished, gider.dat not uploaded: " + outcome.reason + "\n";
  return "ok: export finished, gider.dat uploaded (" + std::to_string(outcome.records) +
         " records, " + std::to_string(outcome.images) + " images)\n";
}

std::string reportAnswer(const RunOutcome& outcome) {
  if (!outcome.uploaded) return "error: daily report not uploaded: " + outcome.reason + "\n";
  return "ok: daily report uploaded (" + std::to_string(outcome.products) + " products)\n";
}

// The closed periods follow a daily run that reached the server. After one
// that did not, their runs would fail the same way, each showing its errors
// again (a box each on Windows); the next daily run that arrives catches up.
void runDailyReportThenClosed(AppState& app) {
  RunOutcome outcome;
  runDailyReport(app, &outcome);
  if (outcome.uploaded) deliverClosedReports(app);
}

}  // namespace

void runScheduler(AppState& app, const std::atomic<bool>& stop) {
  SchedulerJobs jobs;
  jobs.daily = [&app] { runDailyReportThenClosed(app); };
  jobs.monthly = [&app] { runMonthlyReport(app); };
  jobs.dailyNow = [&app](RunOutcome* outcome) { runDailyReport(app, outcome); };
  runTicks(app, jobs, stop);
}

int runAgent(AppState& app) {
  // A second copy leaves before it touches anything.
  int copies = countAgentProcesses();
  if (copies < 0 || copies >= 2) return 1;

  openAgentData(app);
  guarded("REPORT", [&] { runDailyReportThenClosed(app); });
  app.tickCount.fetch_add(1);

  WindowHandlers handlers;
  handlers.onExportRequest = [&app] {
    app.exportRequests.fetch_add(1);
    RunOutcome outcome;
    outcome.reason = "the export failed";  // kept when the run throws
    guarded("EXPORT", [&] { runExpenseExport(app, &outcome); });
    requestRepaint(app.mainWindow);
    return exportAnswer(outcome);
  };
  handlers.onReportRequest = [&app](AnswerLater answer) {
    if (!answer) {
      askReportNow(app.reportNow);
      return;
    }
    askReportNowAndReply(app.reportNow,
                         [answer](const RunOutcome& outcome) { answer(reportAnswer(outcome)); });
  };
  handlers.onCounterRequest = [&app] {
    app.counterRequests.fetch_add(1);
    requestRepaint(app.mainWindow);
  };
  handlers.readStatus = [&app] { return readStatusPanel(app); };
  std::string error;
  app.mainWindow = createMainWindow(handlers, &error);
  if (!app.mainWindow) {
    showError("KESTRUNE", "cannot start: " + error);
    return 2;
  }

  std::atomic<bool> stop{false};
  std::thread scheduler([&] { runScheduler(app, stop); });
  int code = runMainLoop(app.mainWindow);
  stop = true;
  scheduler.join();
  logLine("agent stopped");
  return code;
}

int runOneShot(AppState& app, const std::string& job) {
  if (job != "daily" && job != "monthly" && job != "export" && job != "closed") return 2;
  std::string answer;
  if (sendToAgent("status", &answer) == 0) {
    showError("KESTRUNE", "an agent of this user is running; ask it instead (kestrune send 0x488)");
    return 3;
  }
  openAgentData(app);
  logLine("one-shot run: " + job);
  int32_t before = 0, after = 0;
  if (job == "daily") {
    before = app.dailyReportsSent;
    guarded("REPORT", [&] { runDailyReport(app); });
    after = app.dailyReportsSent;
  } else if (job == "closed") {
    // Done when every closed period that is due was delivered.
    guarded("CLOSED_REPORTS", [&] { deliverClosedReports(app); });
    ClosedDue due = closedPeriodsDue(nowSeconds(), app.closedState);
    before = 0;
    after = due.days.empty() && due.months.empty() ? 1 : 0;
  } else if (job == "monthly") {
    before = app.monthlyReportsSent;
    guarded("REPORT", [&] { runMonthlyReport(app); });
    after = app.monthlyReportsSent;
  } else {
    before = app.exportsUploaded;
    guarded("EXPORT", [&] { runExpenseExport(app); });
    after = app.exportsUploaded;
  }
  return after > before ? 0 : 1;
}

}  // namespace kestrune
