#include "app/owner_pages.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "db/receipts.h"
#include "periods/period.h"
#include "platform/errors.h"
#include "platform/ftp.h"
#include "platform/log.h"
#include "reports/owner_page.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

const char* const kMonthNames[12] = {"Ocak",   "Şubat",   "Mart",  "Nisan", "Mayıs", "Haziran",
                                     "Temmuz", "Ağustos", "Eylül", "Ekim",  "Kasım", "Aralık"};

// The period of a report and the moment it was made: its date and time texts
// (DD.MM.YYYY, HH:MM:SS).
struct RunPeriod {
  char begin[24] = {};
  char end[24] = {};
  char dateText[12] = {};
  char timeText[20] = {};
};

RunPeriod runPeriod(const ReportPeriod& period, int64_t madeAt) {
  RunPeriod run;
  MomentTexts made = momentTexts(madeAt);
  std::snprintf(run.begin, sizeof run.begin, "%s", period.begin);
  std::snprintf(run.end, sizeof run.end, "%s", period.end);
  std::snprintf(run.dateText, sizeof run.dateText, "%s", made.dateText.c_str());
  std::snprintf(run.timeText, sizeof run.timeText, "%s", made.timeText.c_str());
  return run;
}

int number(const char* text, size_t at, size_t length) {
  return std::atoi(std::string(text + at, length).c_str());
}

// The business day a period begins on ("YYYY-MM-DD 06:00:00").
int64_t firstDayOf(const RunPeriod& period) {
  return dayNumber(number(period.begin, 0, 4), number(period.begin, 5, 2),
                   number(period.begin, 8, 2));
}

// The business day of the run's moment (dateText DD.MM.YYYY, timeText HH:MM:SS).
int64_t dayOfRun(const RunPeriod& period) {
  int64_t day = dayNumber(number(period.dateText, 6, 4), number(period.dateText, 3, 2),
                          number(period.dateText, 0, 2));
  return number(period.timeText, 0, 2) < 6 ? day - 1 : day;
}

OwnerTotals ownerTotals(const ReceiptTotals& t) {
  OwnerTotals o;
  o.known = t.receipts > 0;
  o.receipts = t.receipts;
  o.grossKurus = kurusOf(t.gross);
  o.discountKurus = kurusOf(t.discount);
  o.complimentaryKurus = kurusOf(t.complimentary);
  return o;
}

// Business day `day` up to the run's clock time (whole when `whole`).
bool readDayTotals(QuerySession& reads, int64_t day, bool whole, const RunPeriod& run,
                   OwnerTotals& out) {
  ReportPeriod p = businessDayPeriod(day);
  std::string end = p.end;
  if (!whole) {
    // the run's hour falls on the day's first date from 06:00, on the next before
    const char* date = number(run.timeText, 0, 2) < 6 ? p.end : p.begin;
    end = std::string(date, 10) + " " + std::string(run.timeText, 8);
  }
  ReceiptTotals t;
  if (!readReceiptTotals(reads, p.begin, end.c_str(), t)) return false;
  out = ownerTotals(t);
  return true;
}

bool dayComparisons(QuerySession& reads, const RunPeriod& period, bool closed, OwnerPage& page) {
  int64_t day = firstDayOf(period);
  const char* upTo = closed ? "" : " (aynı saate kadar)";
  page.comparisonCount = 2;
  page.comparisonLabels[0] = std::string("Geçen hafta") + upTo;
  page.comparisonLabels[1] = std::string("4 hafta ort.") + upTo;
  if (!readDayTotals(reads, day - 7, closed, period, page.comparisons[0])) return false;
  // The average of the weeks that had sales; none: "-".
  OwnerTotals sum;
  int known = 0;
  for (int week = 1; week <= 4; ++week) {
    OwnerTotals t = page.comparisons[0];
    if (week > 1 && !readDayTotals(reads, day - 7 * week, closed, period, t)) return false;
    if (!t.known) continue;
    ++known;
    sum.grossKurus += t.grossKurus;
    sum.discountKurus += t.discountKurus;
    sum.complimentaryKurus += t.complimentaryKurus;
    sum.receipts += t.receipts;
  }
  if (known > 0) {
    auto average = [known](int64_t v) {
      return v >= 0 ? (v + known / 2) / known : -((-v + known / 2) / known);
    };
    OwnerTotals& avg = page.comparisons[1];
    avg.known = true;
    avg.grossKurus = average(sum.grossKurus);
    avg.discountKurus = average(sum.discountKurus);
    avg.complimentaryKurus = average(sum.complimentaryKurus);
    avg.receipts = average(sum.receipts);
  }
  return true;
}

bool monthComparison(QuerySession& reads, const RunPeriod& period, bool closed, OwnerPage& page) {
  int64_t first = firstDayOf(period);
  int month = monthOfDay(first);
  ReportPeriod before = monthNumberPeriod(month - 1);
  std::string end = before.end;
  page.comparisonCount = 1;
  page.comparisonLabels[0] = "Önceki ay";
  if (!closed) {
    int64_t sameDay = firstDayOfMonth(month - 1) + (dayOfRun(period) - first);
    if (sameDay < first) {
      page.comparisonLabels[0] = "Önceki ay (aynı güne kadar)";
      ReportPeriod day = businessDayPeriod(sameDay);
      const char* date = number(period.timeText, 0, 2) < 6 ? day.end : day.begin;
      end = std::string(date, 10) + " " + std::string(period.timeText, 8);
    }
  }
  ReceiptTotals t;
  if (!readReceiptTotals(reads, before.begin, end.c_str(), t)) return false;
  page.comparisons[0] = ownerTotals(t);
  return true;
}

bool readPageFigures(SalesData& sales, const RunPeriod& period, bool month, bool closed,
                     OwnerPage& page) {
  // One connection for the page's reads, closed when they are done.
  QuerySession reads{sales.connection, nullptr};
  takeReportFigures(page, sales.summary);
  takeReportProducts(page, sales.stockByName);
  ReceiptTotals byHour[24];
  if (!readReceiptsByHour(reads, period.begin, period.end, byHour)) return false;
  page.current.receipts = 0;
  for (int hour = 0; hour < 24; ++hour) {
    const ReceiptTotals& t = byHour[hour];
    int at = (hour + 18) % 24;  // 06:00 first
    page.hourKurus[at] = kurusOf(t.gross) - kurusOf(t.discount) - kurusOf(t.complimentary);
    page.hourReceipts[at] = t.receipts;
    page.current.receipts += t.receipts;
  }
  if (!month) return dayComparisons(reads, period, closed, page);
  std::vector<ReceiptTotals> byDay;
  if (!readReceiptsByDay(reads, period.begin, period.end, byDay)) return false;
  int64_t first = firstDayOf(period);
  int64_t days = firstDayOfMonth(monthOfDay(first) + 1) - first;
  if (!closed) days = std::min<int64_t>(days, dayOfRun(period) - first + 1);
  for (int64_t i = 0; i < days; ++i) {
    const ReceiptTotals t =
        static_cast<size_t>(i) < byDay.size() ? byDay[static_cast<size_t>(i)] : ReceiptTotals();
    page.dayKurus.push_back(kurusOf(t.gross) - kurusOf(t.discount) - kurusOf(t.complimentary));
  }
  return monthComparison(reads, period, closed, page);
}

void reportFailure(const std::string& name, const std::string& why) {
  logLine("owner's page " + name + ": " + why);
  showError("OZET_SAYFA", name + ": " + why);
}

}  // namespace

std::string ownerPageName(const std::string& reportSuffix) {
  size_t cut = reportSuffix.find('_');
  if (cut == std::string::npos) return reportSuffix + "_ozet.html";
  return reportSuffix.substr(0, cut) + "_ozet" + reportSuffix.substr(cut) + ".html";
}

bool ownerPageFigures(ReportRunsData& reports, SharedState& shared, const CompanyInfo& company,
                      const ReportPeriod& reportPeriod, int64_t madeAt,
                      const std::string& reportSuffix, bool month, OwnerPage& page) {
  bool closed = reportSuffix.find('_') != std::string::npos;
  const RunPeriod period = runPeriod(reportPeriod, madeAt);
  page.month = month;
  page.closed = closed;
  page.companyName = company.compname.empty() ? company.compfolder : company.compname;
  if (month) {
    int m = number(period.begin, 5, 2);
    page.periodText = std::string(kMonthNames[(m + 11) % 12]) + " " + std::string(period.begin, 4);
  } else {
    page.periodText = dayText(firstDayOf(period));
  }
  page.madeAt = std::string(period.dateText) + " " + std::string(period.timeText, 5);
  bool read = readPageFigures(reports.sales, period, month, closed, page);
  noteDatabaseAnswer(shared, reports.sales.connection);
  return read;
}

bool sendOwnerPage(ReportRunsData& reports, SharedState& shared, const ReportPeriod& reportPeriod,
                   int64_t madeAt, const std::string& reportSuffix, bool month) {
  std::string name = ownerPageName(reportSuffix);
  CompanyInfo company = companyRecord(shared);
  OwnerPage page;
  if (!ownerPageFigures(reports, shared, company, reportPeriod, madeAt, reportSuffix, month,
                        page)) {
    reportFailure(name, "a database read failed");
    return false;
  }
  OwnerPageFile file = writeOwnerPage(shared.folders.salesFolder, name, page);
  if (file.result != 0) {
    reportFailure(name, "the page could not be written");
    return false;
  }
  if (uploadForRun(shared, reports.ftp.session, company.raporlamahash + "_" + name, file.localPath,
                   company) != kFtpDone) {
    reportFailure(name, "the upload failed");
    return false;
  }
  return true;
}

}  // namespace kestrune
