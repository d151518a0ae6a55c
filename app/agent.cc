#include "app/agent.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/export_run.h"
#include "app/report_now.h"
#include "app/report_runs.h"
#include "app/scheduler.h"
#include "app/status.h"
#include "db/company.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/window.h"

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

// How long the end of the agent waits for runs in progress to stop.
constexpr auto kEndWait = std::chrono::seconds(5);

// An export runs on a thread of its own while the loop's thread goes on
// serving (serveUntil): the window paints and takes WM_CLOSE, SIGTERM is
// heard, however long the export's reads take. Requests stay one after the
// other, and the asker still gets its answer when the export is done.
RunOutcome serveExport(AppState& app) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto outcome = std::make_shared<RunOutcome>();
  outcome->reason = "the export failed";  // kept when the run throws
  app.workThreads.fetch_add(1);
  std::thread worker;
  try {
    worker = std::thread([&app, done, outcome] {
      guarded("EXPORT", [&] { runExpenseExport(app, outcome.get()); });
      *done = true;
      app.workThreads.fetch_sub(1);  // the last use of app: the agent may end now
    });
  } catch (const std::system_error&) {
    app.workThreads.fetch_sub(1);
    guarded("EXPORT", [&] { runExpenseExport(app, outcome.get()); });
    return *outcome;
  }
  if (serveUntil([&done] { return done->load(); })) {
    worker.join();
    return *outcome;
  }
  worker.detach();  // the agent is ending; runAgent waits for it a little
  RunOutcome ending;
  ending.reason = "the agent is ending; the export did not finish";
  return ending;
}

// True when every thread of the agent's work ended within `wait`.
bool workEnded(const AppState& app, std::chrono::milliseconds wait) {
  auto until = std::chrono::steady_clock::now() + wait;
  while (app.workThreads.load() > 0) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
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
  // A second copy leaves before it touches anything, saying why.
  std::string why;
  int alone = takeAgentLock(&why);
  if (alone == 0) {
    std::fprintf(stderr, "kestrune: not started: %s\n", why.c_str());
    openLog(agentRootFolder() + kPathSeparator + "kestrune.log");
    logLine("start refused: " + why);
    return 1;
  }
  if (alone < 0) showError("KESTRUNE", why);  // an agent without the check beats none

  // A one-shot run (kestrune run ...) writes the same files: the agent waits
  // until it has ended.
  std::string root = agentRootFolder(), lockError;
  createPrivateFolder(root);
  int locked = lockFolder(root, &lockError);
  if (locked == 0) std::fputs("kestrune: waiting for a one-shot run to end\n", stderr);
  while (locked == 0) {
    sleepMillis(1000);
    locked = lockFolder(root, &lockError);
  }
  if (locked < 0) showError("KESTRUNE", lockError);  // a run without the lock beats no run

  openAgentData(app);
  guarded("REPORT", [&] { runDailyReportThenClosed(app); });
  app.tickCount.fetch_add(1);

  WindowHandlers handlers;
  handlers.onExportRequest = [&app] {
    app.exportRequests.fetch_add(1);
    RunOutcome outcome = serveExport(app);
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

  app.workThreads.fetch_add(1);
  std::thread scheduler([&app] {
    runScheduler(app, app.ending);
    app.workThreads.fetch_sub(1);
  });
  int code = runMainLoop(app.mainWindow);
  // Runs in progress stop at their next step. One held in a slow read or
  // upload does not keep the agent: after a few seconds the process ends
  // without it. Its files are written beside their final names and moved
  // into place whole, so nothing half-written is left behind.
  app.ending = true;
  if (!workEnded(app, kEndWait)) {
    logLine("agent stopped; the run in progress was abandoned");
    std::fflush(nullptr);
    std::_Exit(code);
  }
  scheduler.join();
  logLine("agent stopped");
  return code;
}

int runOneShot(AppState& app, const std::string& job) {
  if (job != "daily" && job != "monthly" && job != "export" && job != "closed") return 2;
  std::string answer, error;
  std::string root = agentRootFolder();
  createPrivateFolder(root);
  // The socket does not answer yet while an agent makes its first report;
  // the lock in the root folder is held all the same.
  if (sendToAgent("status", &answer) == 0 || lockFolder(root, &error) == 0) {
    showError("KESTRUNE",
              "an agent of this user is running (or another one-shot run); ask it instead "
              "(kestrune send 0x488, kestrune report)");
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
