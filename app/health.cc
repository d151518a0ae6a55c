#include "app/health.h"

#include "app/app_state.h"
#include "platform/clock.h"

namespace kestrune {

void recordRun(AppState& app, RunKind kind, const RunOutcome& outcome) {
  int64_t now = nowSeconds();
  std::lock_guard<std::mutex> lock(app.healthMutex);
  AgentHealth& health = app.health;
  switch (kind) {
    case RunKind::Daily:
      if (outcome.uploaded) health.lastDailyUpload = now;
      break;
    case RunKind::Monthly:
      if (outcome.uploaded) health.lastMonthlyUpload = now;
      break;
    case RunKind::Export:
      if (outcome.uploaded) {
        health.lastExport = now;
        health.lastExportRecords = outcome.records;
        health.lastExportImages = outcome.images;
        health.imagesWaiting = outcome.imagesWaiting;
      }
      break;
  }
}

AgentHealth agentHealth(const AppState& app) {
  std::lock_guard<std::mutex> lock(app.healthMutex);
  return app.health;
}

}  // namespace kestrune
