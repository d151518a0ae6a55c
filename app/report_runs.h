// The daily and the monthly report run: period, queries, document, upload.
// Where a newcomer starts reading: each run calls db/ for the figures,
// reports/ for the document and transfer/ for the upload.
#pragma once

namespace kestrune {

struct AppState;
struct RunOutcome;

// Each returns 0. A successful upload adds 1 to dailyReportsSent /
// monthlyReportsSent. What the run did is recorded (recordRun) and, when
// asked for, copied to `outcome`. Not re-entrant: both use the shared sales
// records.
int runDailyReport(AppState& app, RunOutcome* outcome = nullptr);
int runMonthlyReport(AppState& app, RunOutcome* outcome = nullptr);

}  // namespace kestrune
