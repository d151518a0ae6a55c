// The business day runs from 06:00:00 to 05:59:59 of the next calendar day.
// A ReportPeriod holds the begin and end of a report period as texts
// "YYYY-MM-DD HH:MM:SS" (both bounds inclusive). Every function takes the
// instant it is asked about; none reads the clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kestrune {

struct ReportPeriod {
  char begin[24] = {};
  char end[24] = {};
};

// The date and time texts of an instant in local time.
struct MomentTexts {
  std::string dateText;  // DD.MM.YYYY
  std::string timeText;  // HH:MM:SS
};
MomentTexts momentTexts(int64_t t);

// The daily period of local calendar day `today` (only its date counts):
// before six, yesterday 06:00:00 to today 05:59:59, where "yesterday" is the
// calendar day before today, also where now minus 86400 s is not; from six,
// today 06:00:00 to today 23:59:59.
ReportPeriod dailyPeriodBeforeSix(const std::tm& today);
ReportPeriod dailyPeriodFromSix(const std::tm& today);
// The daily period at instant `t`: before 06:00 the one before six, else from six.
ReportPeriod dailyPeriod(int64_t t);
// 1st of month 06:00:00 to the 1st of the next month 05:59:59.
ReportPeriod monthPeriod(int month, int year);
// The month of the business day of instant `t` (before 06:00 that of the
// calendar day before: at 01:30 on the 1st, the month that is ending).
ReportPeriod businessMonthPeriod(int64_t t);

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
// D 06:00:00 to D+1 05:59:59: the whole business day as texts, also on a
// day the clocks are put forward or back.
ReportPeriod businessDayPeriod(int64_t day);
// monthPeriod for a month number.
ReportPeriod monthNumberPeriod(int month);
// "YYYYMMDD" of a day, "YYYYMM" of a month, "DD.MM.YYYY" and "MM.YYYY".
std::string dayDigits(int64_t day);
std::string monthDigits(int month);
std::string dayText(int64_t day);
std::string monthText(int month);

// "YYYY-MM-DD HH:MM:SS" -> "DD.MM.YYYY HH:MM:SS" by moving characters.
std::string displayTimestamp(const char* text);

}  // namespace kestrune
