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

// What a run needs before its queries: the start-up data that could not be
// read then, the stock lists read again and the company record. `known` is
// false while the company record could not be read at all, `stockLists`
// while the stock lists never came whole.
struct RunStart {
  CompanyInfo company;
  bool known = false;
  bool stockLists = false;
};

RunStart startRun(ReportRunsData& reports, SharedState& shared) {
  RunStart start;
  start.known = refreshCompany(shared);
  start.stockLists = refreshStockLists(reports);
  start.company = companyRecord(shared);
  return start;
}

// Once the agent is ending, a run stops at its next step.
bool stopping(const SharedState& shared, RunOutcome& outcome) {
  if (!shared.ending) return false;
  outcome.reason = "the agent is ending";
  return true;
}

// The summary the document prints above its product table: the company
// folder, the time of the report and the period's totals.
SummaryRecord summaryRecord(const RunStart& start, const SalesSummary& summary, int64_t madeAt) {
  SummaryRecord record;
  record.summaryName = start.company.compfolder;
  copyText(record.summaryTime, momentTexts(madeAt).timeText);
  record.summary = summary;
  return record;
}

// Writes the document of reads that all succeeded (`readsOk`) and uploads
// it; outcome.uploaded when it reached the server, else outcome.reason says
// why not.
RunOutcome writeAndUpload(ReportRunsData& reports, SharedState& shared, const RunStart& start,
                          bool readsOk, int64_t madeAt, const std::string& periodLine,
                          const std::string& kind, const char16_t* title) {
  RunOutcome outcome;
  if (stopping(shared, outcome)) return outcome;
  const ReportFolders& folders = shared.folders;
  SalesData& sales = reports.sales;
  SummaryRecord record = summaryRecord(start, sales.summary, madeAt);
  // Folders removed while the agent runs are made again, one level each, as
  // start-up makes them.
  if (!folders.rootFolder.empty()) createPrivateFolder(folders.rootFolder);
  if (!folders.salesFolder.empty()) createFolder(folders.salesFolder);
  // A report from a failed read would put zeros or partial totals over the
  // last good one, here and on the server, counted as sent: nothing is
  // written then. Stock lists read whole before stand in for a failed re-read.
  if (!readsOk) {
    outcome.reason = "a database read failed";
    return outcome;
  }
  if (!start.stockLists) {
    outcome.reason = "the stock lists could not be read";
    return outcome;
  }
  mergeCodeListIntoNameList(sales);
  // A document that could not be written whole is not uploaded: the server
  // would get an old or partial report, counted as sent.
  ReportFile file = writeSalesSummaryDocument(periodLine, sales.stockByName, folders.salesFolder,
                                              record, kind, title);
  if (file.result != 0) {
    outcome.reason = "the document could not be written";
    return outcome;
  }
  outcome.products = productRowCount(sales.stockByName);
  if (stopping(shared, outcome)) return outcome;
  // Without the company record the report has no folder and no name of its
  // own: it would land in the folder all restaurants share.
  if (!start.known) {
    outcome.reason = "the company record could not be read";
    return outcome;
  }
  if (!companyHasFolder(start.company, outcome)) return outcome;
  std::string remoteName = start.company.raporlamahash + "_" + file.fileName;
  outcome.uploaded = uploadForRun(shared, reports.ftp.session, remoteName, file.localPath,
                                  start.company) >= kFtpDone;
  if (!outcome.uploaded) outcome.reason = "the upload failed";
  return outcome;
}

// The reads of a business day: the receipts with the daily run's own summary
// statement and the order items. True when both succeeded.
bool readDaySales(SalesData& sales, const ReportPeriod& period) {
  bool ok = readDailySalesSummary(sales, period.begin, period.end) == 1;
  return readOrderItemSales(sales, period.begin, period.end) == 1 && ok;
}

// The reads of a month: the receipts, the three movement sums in place of
// their receipt sums, and the order items. True when all succeeded.
bool readMonthSales(SalesData& sales, const ReportPeriod& period) {
  const char* begin = period.begin;
  const char* end = period.end;
  bool ok = readSalesSummary(sales, begin, end) == 1;
  ok = readCashMovesTotal(sales, begin, end) == 1 && ok;
  ok = readBankMovesTotal(sales, begin, end) == 1 && ok;
  ok = readChequeMovesTotal(sales, begin, end) == 1 && ok;
  return readOrderItemSales(sales, begin, end) == 1 && ok;
}

// The report of a business day (the daily run's or a closed day's): the
// period line in display form.
RunOutcome makeDayReport(ReportRunsData& reports, SharedState& shared, const RunStart& start,
                         const ReportPeriod& period, const std::string& nameSuffix) {
  bool readsOk = readDaySales(reports.sales, period);
  noteDatabaseAnswer(shared, reports.sales.connection);
  // Stamped after the reads: the time the figures were taken.
  int64_t madeAt = nowSeconds();
  std::string periodLine = displayTimestamp(period.begin) + "  -  " + displayTimestamp(period.end);
  RunOutcome outcome =
      writeAndUpload(reports, shared, start, readsOk, madeAt, periodLine, nameSuffix, kDailyTitle);
  if (outcome.uploaded) sendOwnerPage(reports, shared, period, madeAt, nameSuffix, false);
  return outcome;
}

// The report of a business month: the period line raw.
RunOutcome makeMonthReport(ReportRunsData& reports, SharedState& shared, const RunStart& start,
                           const ReportPeriod& period, const std::string& nameSuffix) {
  bool readsOk = readMonthSales(reports.sales, period);
  noteDatabaseAnswer(shared, reports.sales.connection);
  int64_t madeAt = nowSeconds();
  std::string periodLine = std::string(period.begin) + "  -  " + period.end;
  RunOutcome outcome = writeAndUpload(reports, shared, start, readsOk, madeAt, periodLine,
                                      nameSuffix, kMonthlyTitle);
  if (outcome.uploaded) sendOwnerPage(reports, shared, period, madeAt, nameSuffix, true);
  return outcome;
}

}  // namespace

RunOutcome runDailyReport(ReportRunsData& reports, SharedState& shared) {
  RunFtpScope ftp(reports.ftp);
  RunStart start = startRun(reports, shared);
  RunOutcome outcome;
  if (!stopping(shared, outcome)) {
    outcome = makeDayReport(reports, shared, start, dailyPeriod(nowSeconds()), "gunluk");
    if (outcome.uploaded) shared.status.dailyReportsSent.fetch_add(1);
  }
  recordRun(shared.status, RunKind::Daily, outcome);
  return outcome;
}

RunOutcome runMonthlyReport(ReportRunsData& reports, SharedState& shared) {
  RunFtpScope ftp(reports.ftp);
  RunStart start = startRun(reports, shared);
  RunOutcome outcome;
  if (!stopping(shared, outcome)) {
    outcome = makeMonthReport(reports, shared, start, businessMonthPeriod(nowSeconds()), "aylik");
    if (outcome.uploaded) shared.status.monthlyReportsSent.fetch_add(1);
  }
  recordRun(shared.status, RunKind::Monthly, outcome);
  return outcome;
}

RunOutcome runClosedDayReport(ReportRunsData& reports, SharedState& shared, int64_t day) {
  RunFtpScope ftp(reports.ftp);
  RunStart start = startRun(reports, shared);
  return makeDayReport(reports, shared, start, businessDayPeriod(day), "gunluk_" + dayDigits(day));
}

RunOutcome runClosedMonthReport(ReportRunsData& reports, SharedState& shared, int month) {
  RunFtpScope ftp(reports.ftp);
  RunStart start = startRun(reports, shared);
  return makeMonthReport(reports, shared, start, monthNumberPeriod(month),
                         "aylik_" + monthDigits(month));
}

}  // namespace kestrune
