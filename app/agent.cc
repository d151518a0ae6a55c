#include "app/agent.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "app/scheduler.h"
#include "app/status.h"
#include "db/company.h"
#include "platform/errors.h"
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

// How long the end of the agent waits for runs in progress to stop.
constexpr auto kEndWait = std::chrono::seconds(5);

// An export runs on a thread of its own while the loop's thread goes on
// serving (serveUntil): the window paints and takes WM_CLOSE, SIGTERM is
// heard, however long the export's reads take. Requests stay one after the
// other, and the asker still gets its answer when the export is done.
void serveExport(AppState& app) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  app.workThreads.fetch_add(1);
  std::thread worker;
  try {
    worker = std::thread([&app, done] {
      guarded("EXPORT", [&] { runExpenseExport(app); });
      *done = true;
      app.workThreads.fetch_sub(1);  // the last use of app: the agent may end now
    });
  } catch (const std::system_error&) {
    app.workThreads.fetch_sub(1);
    guarded("EXPORT", [&] { runExpenseExport(app); });
    return;
  }
  if (serveUntil([&done] { return done->load(); }))
    worker.join();
  else
    worker.detach();  // the agent is ending; runAgent waits for it a little
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

}  // namespace

void runScheduler(AppState& app, const std::atomic<bool>& stop) {
  runTicks(app, {[&app] { runDailyReport(app); }, [&app] { runMonthlyReport(app); }}, stop);
}

int runAgent(AppState& app) {
  // A second copy leaves before it touches anything.
  int copies = countAgentProcesses();
  if (copies < 0 || copies >= 2) return 1;

  openAgentData(app);
  guarded("REPORT", [&] { runDailyReport(app); });
  app.tickCount.fetch_add(1);

  WindowHandlers handlers;
  handlers.onExportRequest = [&app] {
    app.exportRequests.fetch_add(1);
    serveExport(app);
    requestRepaint(app.mainWindow);
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
    std::fflush(nullptr);
    std::_Exit(code);
  }
  scheduler.join();
  return code;
}

int runOneShot(AppState& app, const std::string& job) {
  if (job != "daily" && job != "monthly" && job != "export") return 2;
  std::string answer;
  if (sendToAgent("status", &answer) == 0) {
    showError("KESTRUNE", "an agent of this user is running; ask it instead (kestrune send 0x488)");
    return 3;
  }
  openAgentData(app);
  int32_t before = 0, after = 0;
  if (job == "daily") {
    before = app.dailyReportsSent;
    guarded("REPORT", [&] { runDailyReport(app); });
    after = app.dailyReportsSent;
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
