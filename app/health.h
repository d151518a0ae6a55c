// How the agent is doing: the last uploads, the last export and the last
// run of each kind, for the status panel, `kestrune status` and the log.
#pragma once

#include <cstdint>
#include <mutex>

#include "app/closed_reports.h"

namespace kestrune {

struct AgentStatus;
struct RunOutcome;
enum class RunKind;

struct AgentHealth {
  int64_t lastDailyUpload = 0;  // seconds since 1970; 0 while none
  int64_t lastMonthlyUpload = 0;
  int64_t lastExport = 0;  // the last export whose gider.dat arrived
  int lastExportRecords = 0;
  int lastExportImages = 0;
  int imagesWaiting = 0;  // movements of the last export waiting for their image
  ClosedState closed;     // the last closed day and month delivered
};

// Records what a run did: a log line and, for an upload, the health. Any thread.
void recordRun(AgentStatus& status, RunKind kind, const RunOutcome& outcome);

// A copy of the health record, safe from any thread.
AgentHealth agentHealth(const AgentStatus& status);

}  // namespace kestrune
