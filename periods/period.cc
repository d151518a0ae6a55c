#include "periods/period.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace kestrune {

namespace {

// A failed strftime leaves its buffer undefined: empty it then.
template <size_t N>
void emptyUnless(size_t written, char (&field)[N]) {
  if (written == 0) field[0] = '\0';
}

template <size_t N>
void copyBounded(char (&field)[N], const char* text) {
  size_t n = strnlen(text, N - 1);
  std::memcpy(field, text, n);
  std::memset(field + n, 0, N - n);
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month0) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month0 < 0 || month0 > 11) return 31;
  return month0 == 1 && isLeapYear(year) ? 29 : days[month0];
}

// The calendar day before `day` (only the date fields are meaningful).
std::tm calendarDayBefore(const std::tm& day) {
  std::tm before = day;
  if (before.tm_mday > 1) {
    --before.tm_mday;
    return before;
  }
  if (before.tm_mon > 0) {
    --before.tm_mon;
  } else {
    before.tm_mon = 11;
    --before.tm_year;
  }
  before.tm_mday = daysInMonth(before.tm_year + 1900, before.tm_mon);
  return before;
}

struct CivilDate {
  int year;
  int month;  // 1..12
  int day;
};

// The civil date of a day number (days since 1970-01-01, proleptic Gregorian).
CivilDate civilDate(int64_t days) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shifted = (5 * dayOfYear + 2) / 153;  // March = 0
  CivilDate date;
  date.day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  date.month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

// "YYYY-MM-DD" + rest.
std::string isoDate(const CivilDate& date, const char* rest) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%s", date.year, date.month, date.day, rest);
  return text;
}

}  // namespace

int64_t dayNumber(int year, int month, int day) {
  int64_t y = month <= 2 ? year - 1 : year;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yearOfEra = y - era * 400;
  int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t businessDayOf(int64_t t) {
  std::tm local = localTimeOf(t);
  int64_t day = dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return local.tm_hour < 6 ? day - 1 : day;
}

int monthOfDay(int64_t day) {
  CivilDate date = civilDate(day);
  return date.year * 12 + date.month - 1;
}

int64_t firstDayOfMonth(int month) { return dayNumber(month / 12, month % 12 + 1, 1); }

ReportPeriod businessDayPeriod(int64_t day) {
  ReportPeriod period;
  copyBounded(period.begin, isoDate(civilDate(day), " 06:00:00").c_str());
  copyBounded(period.end, isoDate(civilDate(day + 1), " 05:59:59").c_str());
  return period;
}

ReportPeriod monthNumberPeriod(int month) { return monthPeriod(month % 12 + 1, month / 12); }

std::string dayDigits(int64_t day) {
  std::string iso = isoDate(civilDate(day), "");
  return iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2);
}

std::string monthDigits(int month) { return dayDigits(firstDayOfMonth(month)).substr(0, 6); }

std::string dayText(int64_t day) {
  std::string iso = isoDate(civilDate(day), "");
  return iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4);
}

std::string monthText(int month) { return dayText(firstDayOfMonth(month)).substr(3); }

MomentTexts momentTexts(int64_t t) {
  std::tm time = localTimeOf(t);
  char date[16], clock[16];
  if (std::strftime(date, sizeof date, "%d.%m.%Y", &time) == 0) date[0] = '\0';
  if (std::strftime(clock, sizeof clock, "%H:%M:%S", &time) == 0) clock[0] = '\0';
  return MomentTexts{date, clock};
}

ReportPeriod dailyPeriodBeforeSix(const std::tm& today) {
  // The business day began on the calendar day before today. That is the
  // date of "now minus a day" except in the first hour after a 23-hour
  // spring-forward day, where that instant lies two days back and the period
  // would cover two business days.
  ReportPeriod period;
  std::tm before = calendarDayBefore(today);
  emptyUnless(std::strftime(period.begin, sizeof period.begin, "%Y-%m-%d 06:00:00", &before),
              period.begin);
  emptyUnless(std::strftime(period.end, sizeof period.end, "%Y-%m-%d 05:59:59", &today),
              period.end);
  return period;
}

ReportPeriod dailyPeriodFromSix(const std::tm& today) {
  ReportPeriod period;
  emptyUnless(std::strftime(period.begin, sizeof period.begin, "%Y-%m-%d 06:00:00", &today),
              period.begin);
  emptyUnless(std::strftime(period.end, sizeof period.end, "%Y-%m-%d 23:59:59", &today),
              period.end);
  return period;
}

ReportPeriod dailyPeriod(int64_t t) {
  // One instant for the hour and the days: a run at 23:59:59 never takes
  // the hour of one day and the date of the next.
  std::tm now = localTimeOf(t);
  return now.tm_hour < 6 ? dailyPeriodBeforeSix(now) : dailyPeriodFromSix(now);
}

ReportPeriod monthPeriod(int month, int year) {
  ReportPeriod period;
  int nextMonth = month < 12 ? month + 1 : 1;
  int nextYear = month < 12 ? year : year + 1;
  char monthText[16], nextMonthText[16], text[64];
  std::snprintf(monthText, sizeof monthText, month < 10 ? "0%d" : "%d", month);
  std::snprintf(nextMonthText, sizeof nextMonthText, nextMonth < 10 ? "0%d" : "%d", nextMonth);
  std::snprintf(text, sizeof text, "%d-%s-01 06:00:00", year, monthText);
  copyBounded(period.begin, text);
  std::snprintf(text, sizeof text, "%d-%s-01 05:59:59", nextYear, nextMonthText);
  copyBounded(period.end, text);
  return period;
}

ReportPeriod businessMonthPeriod(int64_t t) {
  std::tm now = localTimeOf(t);
  std::tm day = now.tm_hour < 6 ? calendarDayBefore(now) : now;
  return monthPeriod(day.tm_mon + 1, day.tm_year + 1900);
}

std::string displayTimestamp(const char* text) {
  // YYYY-MM-DD HH:MM:SS
  // 0123456789012345678
  if (!text) return std::string();
  if (std::strlen(text) < 19) return text;
  std::string out;
  out.append(text + 8, 2).append(".");
  out.append(text + 5, 2).append(".");
  out.append(text, 4).append(" ");
  out.append(text + 11, 8);
  return out;
}

}  // namespace kestrune
