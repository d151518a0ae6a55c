#include "app/closed_reports.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

bool closedReportsOn() {
  char value[16] = {};
  return readServerSetting("closedreports", value, sizeof value) != 0 ||
         std::strcmp(value, "0") != 0;
}

std::string statePath(const AppState& app) {
  return app.folders.rootFolder + kPathSeparator + kStateFileName;
}

// Reads the state file once per process. A missing file is a first start; an
// unreadable or corrupt one is reported (once: the state is kept in memory
// from then on) and taken as a first start too.
void loadState(AppState& app) {
  app.closedStateLoaded = true;
  app.closedState = ClosedState();
  std::string path = statePath(app);
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
  app.closedState = state;
}

void saveState(AppState& app) {
  OutputFile out;
  std::string text = closedStateText(app.closedState);
  if (openOutputFile(out, statePath(app)) && writeOutput(out, text) && commitOutputFile(out))
    return;
  discardOutputFile(out);
  showError("WRITE_CLOSED_REPORTS", out.error);
}

// Logs a delivery or why it failed, and shows the last ones delivered.
void recordDelivery(AppState& app, const std::string& what, const RunOutcome& outcome) {
  logLine(what + ": " +
          (outcome.uploaded ? "uploaded (" + std::to_string(outcome.products) + " products)"
                            : "not uploaded: " + outcome.reason));
  if (!outcome.uploaded) return;
  std::lock_guard<std::mutex> lock(app.healthMutex);
  app.health.closed = app.closedState;
}

// After a period's run: an upload advances the state (`advance`) and saves
// it; either way the log and the health say what happened. True when uploaded.
bool delivered(AppState& app, const std::string& what, const RunOutcome& outcome,
               const std::function<void()>& advance) {
  if (outcome.uploaded) {
    advance();
    saveState(app);
  }
  recordDelivery(app, what, outcome);
  return outcome.uploaded;
}

void removeExpiredCopies(const std::string& folder, int64_t today) {
  if (folder.empty()) return;
  for (const std::string& name : folderEntries(folder))
    if (expiredClosedCopy(name, today)) removeFile(folder + kPathSeparator + name);
}

}  // namespace

ClosedDue closedPeriodsDue(int64_t now, const ClosedState& state) {
  ClosedDue due;
  int64_t today = businessDayOf(now);
  int64_t firstDay = state.dayKnown
                         ? std::max<int64_t>(state.lastDay + 1, today - kClosedDaysCaughtUp)
                         : today - 1;
  for (int64_t day = firstDay; day < today; ++day) due.days.push_back(day);
  int thisMonth = monthOfDay(today);
  int firstMonth = state.monthKnown
                       ? std::max(state.lastMonth + 1, thisMonth - kClosedMonthsCaughtUp)
                       : thisMonth - 1;
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

void deliverClosedReports(AppState& app) {
  if (!closedReportsOn() || app.folders.rootFolder.empty()) return;
  if (!app.closedStateLoaded) {
    loadState(app);
    std::lock_guard<std::mutex> lock(app.healthMutex);
    app.health.closed = app.closedState;
  }
  int64_t now = nowSeconds();
  removeExpiredCopies(app.folders.salesFolder, businessDayOf(now));
  ClosedDue due = closedPeriodsDue(now, app.closedState);
  // Oldest first; the first period not delivered stops the delivery, and
  // the next run tries it again. An agent that is ending starts no further one.
  for (int64_t day : due.days) {
    if (app.ending) return;
    RunOutcome outcome;
    runClosedDayReport(app, day, &outcome);
    if (!delivered(app, "closed day " + dayText(day), outcome, [&app, day] {
          app.closedState.dayKnown = true;
          app.closedState.lastDay = day;
        }))
      return;
  }
  for (int month : due.months) {
    if (app.ending) return;
    RunOutcome outcome;
    runClosedMonthReport(app, month, &outcome);
    if (!delivered(app, "closed month " + monthText(month), outcome, [&app, month] {
          app.closedState.monthKnown = true;
          app.closedState.lastMonth = month;
        }))
      return;
  }
}

}  // namespace kestrune
