#include "app/report_runs.h"

#include "app/app_state.h"
#include "app/health.h"
#include "app/owner_pages.h"
#include "db/text.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "reports/document.h"
#include "reports/product_rows.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

const char16_t kDailyTitle[] = u"GÜNLÜK SATIŞ ÖZETİ";
const char16_t kMonthlyTitle[] = u"AYLIK SATIŞ ÖZETİ";

// Sets the report's date and time texts and copies the time into the summary.
void stampReport(SalesData& sales) {
  stampNow(sales.period);
  copyText(sales.record.summaryTime, sales.period.timeText);
}

// What a run needs before its queries: the start-up data that could not be
// read then, the stock lists read again and the company record. `known` is
// false while the company record could not be read at all, `stockLists`
// while the stock lists never came whole.
struct RunStart {
  CompanyInfo company;
  bool known = false;
  bool stockLists = false;
};

RunStart startRun(AppState& app) {
  RunStart start;
  start.known = refreshCompany(app);
  start.stockLists = refreshSalesData(app);
  start.company = companyRecord(app);
  app.sales.failedReads = 0;
  app.sales.record.summaryName = start.company.compfolder;
  return start;
}

// Once the agent is ending, a run stops at its next step.
bool stopping(const AppState& app, RunOutcome& outcome) {
  if (!app.ending) return false;
  outcome.reason = "the agent is ending";
  return true;
}

// Writes the document and uploads it; outcome.uploaded when it reached the
// server, else outcome.reason says why not.
void writeAndUpload(AppState& app, const RunStart& start, const std::string& periodLine,
                    const char* kind, const char16_t* title, RunOutcome& outcome) {
  if (stopping(app, outcome)) return;
  SalesData& sales = app.sales;
  // Folders removed while the agent runs are made again, one level each, as
  // start-up makes them.
  if (!app.folders.rootFolder.empty()) createPrivateFolder(app.folders.rootFolder);
  if (!app.folders.salesFolder.empty()) createFolder(app.folders.salesFolder);
  // A report from a failed read would put zeros or partial totals over the
  // last good one, here and on the server, counted as sent: nothing is
  // written then. Stock lists read whole before stand in for a failed re-read.
  if (sales.failedReads > 0) {
    outcome.reason = "a database read failed";
    return;
  }
  if (!start.stockLists) {
    outcome.reason = "the stock lists could not be read";
    return;
  }
  // A document that could not be written whole is not uploaded: the server
  // would get an old or partial report, counted as sent.
  if (writeSalesSummaryDocument(periodLine, sales.stockByName, app.folders, sales.record, kind,
                                title) != 0) {
    outcome.reason = "the document could not be written";
    return;
  }
  outcome.products = productRowCount(sales.stockByName);
  if (stopping(app, outcome)) return;
  // Without the company record the report has no folder and no name of its
  // own: it would land in the folder all restaurants share.
  if (!start.known) {
    outcome.reason = "the company record could not be read";
    return;
  }
  if (!companyHasFolder(start.company, outcome)) return;
  outcome.uploaded = uploadReport(app.mainWindow, app.folders.uploadLocalPath,
                                  app.folders.uploadFileName, start.company) > 0;
  if (!outcome.uploaded) outcome.reason = "the upload failed";
}

// The reads of a business day: the receipts with the daily run's own summary
// statement (it takes the stored period) and the order items.
void readDaySales(SalesData& sales) {
  readDailySalesSummary(sales);
  readOrderItemSales(sales, sales.period.begin, sales.period.end);
}

// The reads of a month: the receipts, the three movement sums in place of
// their receipt sums, and the order items.
void readMonthSales(SalesData& sales) {
  const char* begin = sales.period.begin;
  const char* end = sales.period.end;
  readSalesSummary(sales, begin, end);
  readCashMovesTotal(sales, begin, end);
  readBankMovesTotal(sales, begin, end);
  readChequeMovesTotal(sales, begin, end);
  readOrderItemSales(sales, begin, end);
}

// The report of a business day over sales.period (the daily run's or a
// closed day's): the period line in display form.
void makeDayReport(AppState& app, const RunStart& start, const std::string& nameSuffix,
                   RunOutcome& result) {
  SalesData& sales = app.sales;
  readDaySales(sales);
  stampReport(sales);
  mergeCodeListIntoNameList(sales);
  std::string periodLine =
      displayTimestamp(sales.period.begin) + "  -  " + displayTimestamp(sales.period.end);
  writeAndUpload(app, start, periodLine, nameSuffix.c_str(), kDailyTitle, result);
  if (result.uploaded) sendOwnerPage(app, nameSuffix, false);
}

// The report of a business month over sales.period: the period line raw.
void makeMonthReport(AppState& app, const RunStart& start, const std::string& nameSuffix,
                     RunOutcome& result) {
  SalesData& sales = app.sales;
  readMonthSales(sales);
  std::string periodLine = std::string(sales.period.begin) + "  -  " + sales.period.end;
  stampReport(sales);
  mergeCodeListIntoNameList(sales);
  writeAndUpload(app, start, periodLine, nameSuffix.c_str(), kMonthlyTitle, result);
  if (result.uploaded) sendOwnerPage(app, nameSuffix, true);
}

// Records what the run did and hands it to the caller that asked.
void finishRun(AppState& app, RunKind kind, const RunOutcome& result, RunOutcome* outcome) {
  recordRun(app, kind, result);
  if (outcome) *outcome = result;
}

}  // namespace

int runDailyReport(AppState& app, RunOutcome* outcome) {
  RunStart start = startRun(app);
  RunOutcome result;
  if (!stopping(app, result)) {
    setDailyPeriod(app.sales.period);
    makeDayReport(app, start, "gunluk", result);
    if (result.uploaded) app.dailyReportsSent.fetch_add(1);
  }
  finishRun(app, RunKind::Daily, result, outcome);
  return 0;
}

int runMonthlyReport(AppState& app, RunOutcome* outcome) {
  RunStart start = startRun(app);
  RunOutcome result;
  if (!stopping(app, result)) {
    setBusinessMonthPeriod(app.sales.period);
    makeMonthReport(app, start, "aylik", result);
    if (result.uploaded) app.monthlyReportsSent.fetch_add(1);
  }
  finishRun(app, RunKind::Monthly, result, outcome);
  return 0;
}

int runClosedDayReport(AppState& app, int64_t day, RunOutcome* outcome) {
  RunStart start = startRun(app);
  setBusinessDayPeriod(app.sales.period, day);
  RunOutcome result;
  makeDayReport(app, start, "gunluk_" + dayDigits(day), result);
  if (outcome) *outcome = result;
  return 0;
}

int runClosedMonthReport(AppState& app, int month, RunOutcome* outcome) {
  RunStart start = startRun(app);
  setMonthNumberPeriod(app.sales.period, month);
  RunOutcome result;
  makeMonthReport(app, start, "aylik_" + monthDigits(month), result);
  if (outcome) *outcome = result;
  return 0;
}

}  // namespace kestrune
