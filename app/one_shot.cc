#include "app/one_shot.h"

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/export_run.h"
#include "app/guarded.h"
#include "app/report_runs.h"
#include "platform/clock.h"
#include "platform/control.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"

namespace kestrune {

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
  bool done = false;
  if (job == "closed") {
    if (!closedReportsOn()) {
      logLine("closed reports are off (closedreports=0): nothing to deliver");
      return 0;
    }
    guarded("CLOSED_REPORTS", [&] { deliverClosedReports(app.reports, app.shared); });
    // Done when every closed period that is due was delivered.
    ClosedDue due = closedPeriodsDue(nowSeconds(), app.reports.closedState);
    done = due.days.empty() && due.months.empty();
  } else {
    RunOutcome outcome;
    if (job == "daily")
      guarded("REPORT", [&] { outcome = runDailyReport(app.reports, app.shared); });
    else if (job == "monthly")
      guarded("REPORT", [&] { outcome = runMonthlyReport(app.reports, app.shared); });
    else
      guarded("EXPORT", [&] { outcome = runExpenseExport(app.exports, app.shared); });
    done = outcome.uploaded;
  }
  return done ? 0 : 1;
}

}  // namespace kestrune
