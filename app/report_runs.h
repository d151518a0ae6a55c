// The daily and the monthly report run: period, queries, document, upload.
// Where a newcomer starts reading: each run calls db/ for the figures,
// reports/ for the document and transfer/ for the upload.
#pragma once

namespace kestrune {

struct AppState;

// Each returns 0. A successful upload adds 1 to dailyReportsSent /
// monthlyReportsSent. Not re-entrant: both use the shared sales records.
int runDailyReport(AppState& app);
int runMonthlyReport(AppState& app);

}  // namespace kestrune
