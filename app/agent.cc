#include "app/agent.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/export_thread.h"
#include "app/guarded.h"
#include "app/report_now.h"
#include "app/scheduler.h"
#include "app/status.h"
#include "platform/clock.h"
#include "platform/control.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"

namespace kestrune {

namespace {

// The answer to `kestrune report`: "ok:" only when the report reached the server.
std::string reportAnswer(const RunOutcome& outcome) {
  if (!outcome.uploaded) return "error: daily report not uploaded: " + outcome.reason + "\n";
  return "ok: daily report uploaded (" + std::to_string(outcome.products) + " products)\n";
}

// How long the end of the agent waits for runs in progress to stop.
constexpr auto kEndWait = std::chrono::seconds(5);

// True when every thread of the agent's work ended within `wait`.
bool workEnded(const AppState& app, std::chrono::milliseconds wait) {
  auto until = std::chrono::steady_clock::now() + wait;
  while (app.workThreads.load() > 0) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// What the control does with each request.
ControlHandlers agentHandlers(AppState& app) {
  ControlHandlers handlers;
  handlers.onExportRequest = [&app] {
    app.shared.status.exportRequests.fetch_add(1);
    RunOutcome outcome = serveExport(app);
    refreshStatus();
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
    app.shared.status.counterRequests.fetch_add(1);
    refreshStatus();
  };
  handlers.readStatus = [&app] { return readStatusPanel(app.shared); };
  return handlers;
}

}  // namespace

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
  guarded("REPORT", [&] { runDailyReportThenClosed(app.reports, app.shared); });
  app.shared.status.tickCount.fetch_add(1);

  std::string error;
  if (!openControl(agentHandlers(app), &error)) {
    showError("KESTRUNE", "cannot start: " + error);
    return 2;
  }

  app.workThreads.fetch_add(1);
  std::thread scheduler([&app] {
    runScheduler(app, app.shared.ending);
    app.workThreads.fetch_sub(1);
  });
  int code = serveControl();
  // Runs in progress stop at their next step. One held in a slow read or
  // upload does not keep the agent: after a few seconds the process ends
  // without it. Its files are written beside their final names and moved
  // into place whole, so nothing half-written is left behind.
  app.shared.ending = true;
  if (!workEnded(app, kEndWait)) {
    logLine("agent stopped; the run in progress was abandoned");
    std::fflush(nullptr);
    std::_Exit(code);
  }
  scheduler.join();
  logLine("agent stopped");
  return code;
}

}  // namespace kestrune
