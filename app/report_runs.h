// The daily and the monthly report run: period, queries, document, upload.
// Where a newcomer starts reading: each run calls db/ for the figures,
// reports/ for the document and transfer/ for the upload.
#pragma once

#include <cstdint>

namespace kestrune {

struct AppState;
struct RunOutcome;

// Each returns 0. A successful upload adds 1 to dailyReportsSent /
// monthlyReportsSent. What the run did is recorded (recordRun) and, when
// asked for, copied to `outcome`. Not re-entrant: both use the shared sales
// records.
int runDailyReport(AppState& app, RunOutcome* outcome = nullptr);
int runMonthlyReport(AppState& app, RunOutcome* outcome = nullptr);

// The final report of a closed business day (periods/period.h day number) or
// month: the daily or monthly run's reads and document over the whole
// period, uploaded as <hash>_gunluk_YYYYMMDD.html / <hash>_aylik_YYYYMM.html.
// Neither counted nor recorded: the caller decides (app/closed_reports.h).
int runClosedDayReport(AppState& app, int64_t day, RunOutcome* outcome);
int runClosedMonthReport(AppState& app, int month, RunOutcome* outcome);

}  // namespace kestrune
