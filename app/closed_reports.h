// The final reports of closed periods. A business day is closed at 06:00 of
// the next day, a month at 06:00 on the 1st of the next one; each closed
// period is uploaded once, under a name of its own beside the current day's
// and month's reports, oldest first. What was delivered is kept in a small
// file in the root folder, so that a restarted agent catches up on what it
// missed (at most the last 31 days and 12 months) and sends nothing twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

struct ReportRunsData;
struct RunOutcome;
struct SharedState;

constexpr int kClosedDaysCaughtUp = 31;
constexpr int kClosedMonthsCaughtUp = 12;
constexpr int kClosedCopyDays = 62;  // local copies are kept this long

// The last closed day and month delivered (periods/period.h day and month
// numbers); unknown before the first delivery of each kind.
struct ClosedState {
  bool dayKnown = false;
  int64_t lastDay = 0;
  bool monthKnown = false;
  int lastMonth = 0;
};

// The closed periods that are due at instant `now`, oldest first. Without a
// record of its kind only the day before the current business day (the
// month before the current business month) is due, nothing older.
struct ClosedDue {
  std::vector<int64_t> days;
  std::vector<int> months;
  // The record to go on from. A recorded day or month at or after the
  // current one was delivered while the clock was set ahead: it is taken
  // back to the one before the current (dayAhead, monthAhead), so that the
  // periods delivered too early go out again when they close. Periods past
  // the catch-up limit are passed over: the record then names the last of
  // them, and skippedDays / skippedMonths say how many.
  ClosedState state;
  bool dayAhead = false;
  bool monthAhead = false;
  int64_t skippedDays = 0;
  int skippedMonths = 0;
};
ClosedDue closedPeriodsDue(int64_t now, const ClosedState& state);

// The state file's text ("day=YYYYMMDD", "month=YYYYMM", a line each) and
// back; false for anything else, an empty text included.
std::string closedStateText(const ClosedState& state);
bool parseClosedState(const std::string& text, ClosedState* state);

// Whether `name` is one of the agent's own closed-period copies
// (satis_ozet_gunluk_YYYYMMDD.html, satis_ozet_aylik_YYYYMM.html and the owner's
// pages gunluk_ozet_YYYYMMDD.html, aylik_ozet_YYYYMM.html) whose
// period ended more than kClosedCopyDays before business day `today`.
bool expiredClosedCopy(const std::string& name, int64_t today);

// Whether the setting "closedreports" leaves the closed reports on.
bool closedReportsOn();

// Reads the state file into reports.closedState and the health, once per
// process (start-up calls it, so that the status shows the last deliveries
// before any); nothing when the closed reports are off.
void loadClosedState(ReportRunsData& reports, SharedState& shared);

// Uploads every closed period that is due, records each delivery (state
// file, log, health) and removes expired local copies. Stops at the first
// period that was not delivered: the next call tries it again. Does nothing
// when the setting "closedreports" is 0. The scheduler calls it after each
// daily run that was uploaded (app/scheduler.cc). The thread of the report
// runs only.
void deliverClosedReports(ReportRunsData& reports, SharedState& shared);

// The daily run, and the closed periods after it when it reached the server.
// After one that did not, their runs would fail the same way, each showing
// its errors again (a box each on Windows); the next daily run that arrives
// catches up. Returns the daily run's outcome.
RunOutcome runDailyReportThenClosed(ReportRunsData& reports, SharedState& shared);

}  // namespace kestrune
