// The business day runs from 06:00:00 to 05:59:59 of the next calendar day.
// A ReportPeriod holds the begin and end of a report period as texts
// "YYYY-MM-DD HH:MM:SS" (both bounds inclusive) and the date and time texts of
// the moment of a report. Every function reads the time through the platform
// clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kestrune {

struct ReportPeriod {
  char begin[24] = {};
  char end[24] = {};
  char dateText[12] = {};  // DD.MM.YYYY
  char timeText[20] = {};  // HH:MM:SS
  std::tm now{};           // local time as read by the run
  std::tm todayTime{};     // kept by today(), yesterday(), tomorrow()
  std::tm yesterdayTime{};
  std::tm tomorrowTime{};
};

// dateText and timeText from the current local time.
void stampNow(ReportPeriod& period);

// The current time shifted by 0, -86400 or +86400 seconds, converted to local
// time, kept in its field; dateText and timeText are set from it.
void today(ReportPeriod& period);
void yesterday(ReportPeriod& period);
void tomorrow(ReportPeriod& period);

// begin = yesterday 06:00:00, end = today 05:59:59 (needs today). "Yesterday"
// is the calendar day before today, also where now minus 86400 s is not.
void setDailyPeriodBeforeSix(ReportPeriod& period);
// begin = today 06:00:00, end = today 23:59:59 (needs today).
void setDailyPeriodFromSix(ReportPeriod& period);
// The daily period by the current hour: before 06:00 the one before six, else from six.
void setDailyPeriod(ReportPeriod& period);
// begin = 1st of month 06:00:00, end = 1st of the next month 05:59:59.
void setMonthPeriod(ReportPeriod& period, int month, int year);
// The month of the current business day (before 06:00 that of the calendar
// day before: at 01:30 on the 1st, the month that is ending); sets `now`.
void setBusinessMonthPeriod(ReportPeriod& period);

// Closed periods are counted in whole business days and months, whatever the
// clock did in between: a day is a day number (days since 1970-01-01 in the
// civil calendar, named by the date its 06:00 falls on), a month a month
// number (year * 12 + month - 1).
int64_t dayNumber(int year, int month, int day);
// The business day that instant `t` (local time) belongs to: before 06:00 the
// calendar day before.
int64_t businessDayOf(int64_t t);
// The month a business day belongs to.
int monthOfDay(int64_t day);
// The first business day of a month.
int64_t firstDayOfMonth(int month);
// begin = D 06:00:00, end = D+1 05:59:59: the whole business day as texts,
// also on a day the clocks are put forward or back.
void setBusinessDayPeriod(ReportPeriod& period, int64_t day);
// setMonthPeriod for a month number.
void setMonthNumberPeriod(ReportPeriod& period, int month);
// "YYYYMMDD" of a day, "YYYYMM" of a month, "DD.MM.YYYY" and "MM.YYYY".
std::string dayDigits(int64_t day);
std::string monthDigits(int month);
std::string dayText(int64_t day);
std::string monthText(int month);

// "YYYY-MM-DD HH:MM:SS" -> "DD.MM.YYYY HH:MM:SS" by moving characters.
std::string displayTimestamp(const char* text);

}  // namespace kestrune
