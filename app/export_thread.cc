#include "app/export_thread.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "app/export_run.h"
#include "app/guarded.h"
#include "platform/control.h"

namespace kestrune {

RunOutcome serveExport(AppState& app) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto outcome = std::make_shared<RunOutcome>();
  outcome->reason = "the export failed";  // kept when the run throws
  auto run = [&app, outcome] {
    guarded("EXPORT", [&] { *outcome = runExpenseExport(app.exports, app.shared); });
  };
  app.workThreads.fetch_add(1);
  std::thread worker;
  try {
    worker = std::thread([&app, done, run] {
      run();
      *done = true;
      app.workThreads.fetch_sub(1);  // the last use of app: the agent may end now
    });
  } catch (const std::system_error&) {
    app.workThreads.fetch_sub(1);
    run();
    return *outcome;
  }
  if (serveWhileWaiting([&done] { return done->load(); })) {
    worker.join();
    return *outcome;
  }
  worker.detach();  // the agent is ending; runAgent waits for it a little
  RunOutcome ending;
  ending.reason = "the agent is ending; the export did not finish";
  return ending;
}

std::string exportAnswer(const RunOutcome& outcome) {
  if (!outcome.uploaded)
    return "error: export finished, gider.dat not uploaded: " + outcome.reason + "\n";
  return "ok: export finished, gider.dat uploaded (" + std::to_string(outcome.records) +
         " records, " + std::to_string(outcome.images) + " images)\n";
}

}  // namespace kestrune
