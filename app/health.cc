#include "app/health.h"

#include "app/app_state.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace kestrune {

namespace {

const char* kindName(RunKind kind) {
  switch (kind) {
    case RunKind::Daily: return "daily report";
    case RunKind::Monthly: return "monthly report";
    case RunKind::Export: return "expense export";
  }
  return "run";
}

// "daily report: uploaded (42 products)", "expense export: not uploaded: ...".
std::string runLine(RunKind kind, const RunOutcome& outcome) {
  std::string line = std::string(kindName(kind)) + ": ";
  line += outcome.uploaded ? "uploaded" : "not uploaded: " + outcome.reason;
  if (kind == RunKind::Export) {
    line += " (" + std::to_string(outcome.records) + " records, " + std::to_string(outcome.images) +
            " images";
    if (outcome.imagesWaiting > 0)
      line += ", " + std::to_string(outcome.imagesWaiting) + " movements wait for their image";
    line += ")";
  } else if (outcome.uploaded) {
    line += " (" + std::to_string(outcome.products) + " products)";
  }
  return line;
}

}  // namespace

void recordRun(AgentStatus& status, RunKind kind, const RunOutcome& outcome) {
  logLine(runLine(kind, outcome));
  int64_t now = nowSeconds();
  std::lock_guard<std::mutex> lock(status.healthMutex);
  AgentHealth& health = status.health;
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

AgentHealth agentHealth(const AgentStatus& status) {
  std::lock_guard<std::mutex> lock(status.healthMutex);
  return status.health;
}

}  // namespace kestrune
