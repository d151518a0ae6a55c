// The daily and the monthly report run: period, queries, document, upload.
#pragma once

#include "db/sales.h"

namespace kestrune {

struct AppState;

// Each returns 0. A successful upload adds 1 to dailyReportsSent /
// monthlyReportsSent. Not re-entrant: both use the shared sales records.
int runDailyReport(AppState& app);
int runMonthlyReport(AppState& app);

// Copies the period's sales of stockByCode over the same products in
// stockByName (whose sales are reset first).
void mergeCodeListIntoNameList(SalesData& sales);

}  // namespace kestrune
