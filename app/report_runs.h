// The daily and the monthly report run: period, queries, document, upload.
// Where a newcomer starts reading: each run calls db/ for the figures,
// reports/ for the document and transfer/ for the upload, and returns what
// it did.
#pragma once

#include <cstdint>

namespace kestrune {

struct ReportRunsData;
struct RunOutcome;
struct SharedState;

// A successful upload adds 1 to dailyReportsSent / monthlyReportsSent; what
// the run did is recorded (recordRun: the log and the health) and returned.
// The thread of the report runs only.
RunOutcome runDailyReport(ReportRunsData& reports, SharedState& shared);
RunOutcome runMonthlyReport(ReportRunsData& reports, SharedState& shared);

// The final report of a closed business day (periods/period.h day number) or
// month: the daily or monthly run's reads and document over the whole
// period, uploaded as <hash>_gunluk_YYYYMMDD.html / <hash>_aylik_YYYYMM.html.
// Neither counted nor recorded: the caller decides (app/closed_reports.h).
RunOutcome runClosedDayReport(ReportRunsData& reports, SharedState& shared, int64_t day);
RunOutcome runClosedMonthReport(ReportRunsData& reports, SharedState& shared, int month);

}  // namespace kestrune
