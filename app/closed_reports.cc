#include "app/closed_reports.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/app_state.h"
#include "app/report_runs.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/output_file.h"
#include "platform/settings.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

const char kStateFileName[] = "kestrune-closed.txt";

bool allDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "YYYYMMDD" -> day number; false unless it names a real date.
bool parseDay(const std::string& digits, int64_t* day) {
  if (digits.size() != 8 || !allDigits(digits)) return false;
  int date = std::stoi(digits);
  *day = dayNumber(date / 10000, date / 100 % 100, date % 100);
  return dayDigits(*day) == digits;
}

// "YYYYMM" -> month number; false unless it names a real month.
bool parseMonth(const std::string& digits, int* month) {
  int64_t day = 0;
  if (!parseDay(digits + "01", &day)) return false;
  *month = monthOfDay(day);
  return true;
}

std::string statePath(const SharedState& shared) {
  return shared.folders.rootFolder + kPathSeparator + kStateFileName;
}

// Reads the state file once per process. A missing file is a first start; an
// unreadable or corrupt one is reported (once: the state is kept in memory
// from then on) and taken as a first start too.
void loadState(ReportRunsData& reports, const SharedState& shared) {
  reports.closedStateLoaded = true;
  reports.closedState = ClosedState();
  std::string path = statePath(shared);
  if (!pathExists(path)) return;
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ClosedState state;
  if (in.bad() || !in.is_open() || !parseClosedState(text, &state)) {
    showError("CLOSED_REPORTS", "the record of the delivered closed periods (" + path +
                                    ") is unreadable; starting again from the day and the "
                                    "month before the current ones");
    return;
  }
  reports.closedState = state;
}

void saveState(const ReportRunsData& reports, const SharedState& shared) {
  OutputFile out;
  std::string text = closedStateText(reports.closedState);
  if (openOutputFile(out, statePath(shared)) && writeOutput(out, text) && commitOutputFile(out))
    return;
  discardOutputFile(out);
  showError("WRITE_CLOSED_REPORTS", out.error);
}

// Logs a delivery or why it failed, and shows the last ones delivered.
void recordDelivery(const ReportRunsData& reports, SharedState& shared, const std::string& what,
                    const RunOutcome& outcome, bool kept) {
  logLine(what + ": " +
          (kept               ? std::string("already on the server, kept")
           : outcome.uploaded ? "uploaded (" + std::to_string(outcome.products) + " products)"
                              : "not uploaded: " + outcome.reason));
  if (!outcome.uploaded && !kept) return;
  std::lock_guard<std::mutex> lock(shared.status.healthMutex);
  shared.status.health.closed = reports.closedState;
}

// After a period's run: an upload, or a final report kept on the server,
// advances the state (`advance`) and saves it; either way the log and the
// health say what happened. True when delivered.
bool delivered(ReportRunsData& reports, SharedState& shared, const std::string& what,
               const RunOutcome& outcome, bool kept, const std::function<void()>& advance) {
  if (outcome.uploaded || kept) {
    advance();
    saveState(reports, shared);
  }
  recordDelivery(reports, shared, what, outcome, kept);
  return outcome.uploaded || kept;
}

// The instant business day `day` closes: 06:00 local time of the day after.
int64_t closingTime(int64_t day) {
  int date = std::stoi(dayDigits(day + 1));
  std::tm t{};
  t.tm_year = date / 10000 - 1900;
  t.tm_mon = date / 100 % 100 - 1;
  t.tm_mday = date % 100;
  t.tm_hour = 6;
  t.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&t));
}

// A dated final report already on the server stays there: after a lost
// state file the period would otherwise be made again from today's database
// over it. One the server took before its period closed (the agent's clock
// was set ahead then; the server's clock tells) is not final: it is made
// again. True when kept; outcome.reason is set when the server could not be
// asked, and the delivery stops there as after a failed upload.
bool keptOnServer(ReportRunsData& reports, SharedState& shared, const std::string& fileName,
                  int64_t closes, RunOutcome& outcome) {
  refreshCompany(shared);
  CompanyInfo company = companyRecord(shared);
  if (company.compfolder.empty()) return false;  // the run says why nothing goes
  long long modified = -1;
  int found = reportOnServer(reports.ftp.session, fileName, company, &modified);
  if (found < 0) {
    outcome.reason =
        "the FTP server could not be asked for " + fileName + " (" + std::to_string(found) + ")";
    return false;
  }
  if (found == 0) return false;
  if (modified >= 0 && modified < closes) {
    logLine(fileName + " on the server was sent before its period closed: made again");
    return false;
  }
  return true;
}

void removeExpiredCopies(const std::string& folder, int64_t today) {
  if (folder.empty()) return;
  for (const std::string& name : folderEntries(folder))
    if (expiredClosedCopy(name, today)) removeFile(folder + kPathSeparator + name);
}

// Takes up the record that closedPeriodsDue corrected: says once what was
// taken back (an error: the clock was wrong) and what was passed over (a log
// line), and saves it.
void takeCorrectedState(ReportRunsData& reports, SharedState& shared, const ClosedDue& due,
                        int64_t today) {
  const ClosedState& was = reports.closedState;
  const ClosedState& now = due.state;
  if (due.dayAhead)
    showError("CLOSED_REPORTS", "closed day " + dayText(was.lastDay) +
                                    " was delivered, but the current business day is " +
                                    dayText(today) + " (was the clock set ahead?): taken back to " +
                                    dayText(now.lastDay) +
                                    "; the days after it go out when they close");
  if (due.monthAhead)
    showError("CLOSED_REPORTS",
              "closed month " + monthText(was.lastMonth) +
                  " was delivered, but the current business month is " +
                  monthText(monthOfDay(today)) + " (was the clock set ahead?): taken back to " +
                  monthText(now.lastMonth) + "; the months after it go out when they close");
  if (due.skippedDays > 0)
    logLine("closed days " + dayText(now.lastDay - due.skippedDays + 1) + " to " +
            dayText(now.lastDay) + " (" + std::to_string(due.skippedDays) +
            ") skipped: older than the last " + std::to_string(kClosedDaysCaughtUp) + " days");
  if (due.skippedMonths > 0)
    logLine("closed months " + monthText(now.lastMonth - due.skippedMonths + 1) + " to " +
            monthText(now.lastMonth) + " (" + std::to_string(due.skippedMonths) +
            ") skipped: older than the last " + std::to_string(kClosedMonthsCaughtUp) + " months");
  reports.closedState = now;
  saveState(reports, shared);
  std::lock_guard<std::mutex> lock(shared.status.healthMutex);
  shared.status.health.closed = reports.closedState;
}

}  // namespace

bool closedReportsOn() {
  char value[16] = {};
  return readServerSetting(kSettingClosedReports, value, sizeof value) != 0 ||
         std::strcmp(value, "0") != 0;
}

void loadClosedState(ReportRunsData& reports, SharedState& shared) {
  if (reports.closedStateLoaded || !closedReportsOn() || shared.folders.rootFolder.empty()) return;
  loadState(reports, shared);
  std::lock_guard<std::mutex> lock(shared.status.healthMutex);
  shared.status.health.closed = reports.closedState;
}

ClosedDue closedPeriodsDue(int64_t now, const ClosedState& recorded) {
  ClosedDue due;
  due.state = recorded;
  ClosedState& state = due.state;
  int64_t today = businessDayOf(now);
  if (state.dayKnown) {
    if (state.lastDay >= today) {
      due.dayAhead = true;
      state.lastDay = today - 1;
    }
    int64_t lastPassed = today - kClosedDaysCaughtUp - 1;
    if (state.lastDay < lastPassed) {
      due.skippedDays = lastPassed - state.lastDay;
      state.lastDay = lastPassed;
    }
  }
  int64_t firstDay = state.dayKnown ? state.lastDay + 1 : today - 1;
  for (int64_t day = firstDay; day < today; ++day) due.days.push_back(day);
  int thisMonth = monthOfDay(today);
  if (state.monthKnown) {
    if (state.lastMonth >= thisMonth) {
      due.monthAhead = true;
      state.lastMonth = thisMonth - 1;
    }
    int lastPassed = thisMonth - kClosedMonthsCaughtUp - 1;
    if (state.lastMonth < lastPassed) {
      due.skippedMonths = lastPassed - state.lastMonth;
      state.lastMonth = lastPassed;
    }
  }
  int firstMonth = state.monthKnown ? state.lastMonth + 1 : thisMonth - 1;
  for (int month = firstMonth; month < thisMonth; ++month) due.months.push_back(month);
  return due;
}

std::string closedStateText(const ClosedState& state) {
  std::string text;
  if (state.dayKnown) text += "day=" + dayDigits(state.lastDay) + "\n";
  if (state.monthKnown) text += "month=" + monthDigits(state.lastMonth) + "\n";
  return text;
}

bool parseClosedState(const std::string& text, ClosedState* state) {
  ClosedState read;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;  // cut short
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.compare(0, 4, "day=") == 0 && !read.dayKnown) {
      read.dayKnown = parseDay(line.substr(4), &read.lastDay);
      if (!read.dayKnown) return false;
    } else if (line.compare(0, 6, "month=") == 0 && !read.monthKnown) {
      read.monthKnown = parseMonth(line.substr(6), &read.lastMonth);
      if (!read.monthKnown) return false;
    } else {
      return false;
    }
  }
  if (!read.dayKnown && !read.monthKnown) return false;
  *state = read;
  return true;
}

bool expiredClosedCopy(const std::string& name, int64_t today) {
  // the report's copies and the owner's pages beside them
  const bool ownerPage = name.compare(0, 7, "gunluk_") == 0 || name.compare(0, 6, "aylik_") == 0;
  const std::string dayPrefix = ownerPage ? "gunluk_ozet_" : "satis_ozet_gunluk_",
                    monthPrefix = ownerPage ? "aylik_ozet_" : "satis_ozet_aylik_", suffix = ".html";
  if (name.size() <= suffix.size() ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  int64_t lastDay = 0;
  if (name.compare(0, dayPrefix.size(), dayPrefix) == 0) {
    std::string digits =
        name.substr(dayPrefix.size(), name.size() - dayPrefix.size() - suffix.size());
    if (!parseDay(digits, &lastDay)) return false;
  } else if (name.compare(0, monthPrefix.size(), monthPrefix) == 0) {
    std::string digits =
        name.substr(monthPrefix.size(), name.size() - monthPrefix.size() - suffix.size());
    int month = 0;
    if (digits.size() != 6 || !parseMonth(digits, &month)) return false;
    lastDay = firstDayOfMonth(month + 1) - 1;
  } else {
    return false;
  }
  return lastDay < today - kClosedCopyDays;
}

void deliverClosedReports(ReportRunsData& reports, SharedState& shared) {
  if (!closedReportsOn() || shared.folders.rootFolder.empty()) return;
  RunFtpScope ftp(reports.ftp);
  loadClosedState(reports, shared);
  int64_t now = nowSeconds();
  removeExpiredCopies(shared.folders.salesFolder, businessDayOf(now));
  ClosedDue due = closedPeriodsDue(now, reports.closedState);
  if (due.dayAhead || due.monthAhead || due.skippedDays > 0 || due.skippedMonths > 0)
    takeCorrectedState(reports, shared, due, businessDayOf(now));
  // Oldest first; the first period not delivered stops the delivery, and
  // the next run tries it again. An agent that is ending starts no further one.
  ClosedState& state = reports.closedState;
  for (int64_t day : due.days) {
    if (shared.ending) return;
    RunOutcome outcome;
    bool kept = keptOnServer(reports, shared, "gunluk_" + dayDigits(day) + ".html",
                             closingTime(day), outcome);
    if (!kept && outcome.reason.empty()) outcome = runClosedDayReport(reports, shared, day);
    if (!delivered(reports, shared, "closed day " + dayText(day), outcome, kept, [&state, day] {
          state.dayKnown = true;
          state.lastDay = day;
        }))
      return;
  }
  for (int month : due.months) {
    if (shared.ending) return;
    RunOutcome outcome;
    bool kept = keptOnServer(reports, shared, "aylik_" + monthDigits(month) + ".html",
                             closingTime(firstDayOfMonth(month + 1) - 1), outcome);
    if (!kept && outcome.reason.empty()) outcome = runClosedMonthReport(reports, shared, month);
    if (!delivered(reports, shared, "closed month " + monthText(month), outcome, kept,
                   [&state, month] {
                     state.monthKnown = true;
                     state.lastMonth = month;
                   }))
      return;
  }
}

RunOutcome runDailyReportThenClosed(ReportRunsData& reports, SharedState& shared) {
  RunFtpScope ftp(reports.ftp);
  RunOutcome outcome = runDailyReport(reports, shared);
  if (outcome.uploaded) deliverClosedReports(reports, shared);
  return outcome;
}

}  // namespace kestrune
