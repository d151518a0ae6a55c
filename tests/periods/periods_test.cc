// Business-day and month periods with "now" put where the tests need it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "periods/period.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

// Seconds of a local wall-clock time in the current zone (the hour must exist).
const auto localSeconds = test::localStamp;

// Puts the process into another time zone while it lives.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    hadZone_ = old != nullptr;
    if (old) oldZone_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneGuard() {
    if (hadZone_)
      ::setenv("TZ", oldZone_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  bool hadZone_ = false;
  std::string oldZone_;
};

using Range = std::pair<std::string, std::string>;

Range range(const ReportPeriod& p) { return {p.begin, p.end}; }

// The daily period at a local time.
Range dailyAt(int year, int month, int day, int hour, int minute, int second) {
  return range(dailyPeriod(localSeconds(year, month, day, hour, minute, second)));
}

// "DD.MM.YYYY HH:MM:SS" of an instant.
std::string moment(int64_t t) {
  MomentTexts texts = momentTexts(t);
  return texts.dateText + " " + texts.timeText;
}

constexpr int64_t kDay = 86400;

TEST(Periods, DailyPeriodSwitchesAtSix) {
  EXPECT_EQ(Range("2024-05-14 06:00:00", "2024-05-15 05:59:59"), dailyAt(2024, 5, 15, 5, 59, 59));
  EXPECT_EQ(Range("2024-05-15 06:00:00", "2024-05-15 23:59:59"), dailyAt(2024, 5, 15, 6, 0, 0));
  EXPECT_EQ(Range("2024-05-14 06:00:00", "2024-05-15 05:59:59"), dailyAt(2024, 5, 15, 0, 0, 0));
  EXPECT_EQ(Range("2024-05-15 06:00:00", "2024-05-15 23:59:59"), dailyAt(2024, 5, 15, 23, 59, 59));
}

TEST(Periods, EarlyMorningCrossesMonthAndYear) {
  EXPECT_EQ(Range("2024-02-29 06:00:00", "2024-03-01 05:59:59"), dailyAt(2024, 3, 1, 3, 0, 0));
  EXPECT_EQ(Range("2023-02-28 06:00:00", "2023-03-01 05:59:59"), dailyAt(2023, 3, 1, 3, 0, 0));
  EXPECT_EQ(Range("2024-12-31 06:00:00", "2025-01-01 05:59:59"), dailyAt(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(Range("2024-04-30 06:00:00", "2024-05-01 05:59:59"), dailyAt(2024, 5, 1, 5, 59, 59));
}

TEST(Periods, DaysAndStampFollowTheClock) {
  int64_t t = localSeconds(2024, 12, 7, 6, 0, 0);
  EXPECT_EQ("07.12.2024 06:00:00", moment(t));
  EXPECT_EQ("06.12.2024 06:00:00", moment(t - kDay));
  EXPECT_EQ("08.12.2024 06:00:00", moment(t + kDay));
  EXPECT_EQ("01.01.2025 23:05:09", moment(localSeconds(2024, 12, 31, 23, 5, 9) + kDay));
}

TEST(Periods, DaylightSavingDays) {
  ZoneGuard berlin("Europe/Berlin");
  ASSERT_EQ(23 * 3600, localSeconds(2024, 4, 1, 0, 0, 0) - localSeconds(2024, 3, 31, 0, 0, 0))
      << "time zone data for Europe/Berlin missing";

  // 31 March 2024 had 23 hours. Half past midnight after it, now minus a day
  // is 23:30 on 30 March...
  int64_t t = localSeconds(2024, 4, 1, 0, 30, 0);
  EXPECT_EQ("30.03.2024 23:30:00", moment(t - kDay));
  // ...but the business day still began on 31 March.
  EXPECT_EQ(Range("2024-03-31 06:00:00", "2024-04-01 05:59:59"), range(dailyPeriod(t)));

  // The evening before it, tomorrow is half past midnight on 1 April.
  EXPECT_EQ("01.04.2024 00:30:00", moment(localSeconds(2024, 3, 30, 23, 30, 0) + kDay));

  // 27 October 2024 had 25 hours: at 23:30 a day earlier is 00:30 the same date.
  EXPECT_EQ("27.10.2024 00:30:00", moment(localSeconds(2024, 10, 27, 23, 30, 0) - kDay));
  EXPECT_EQ(Range("2024-10-27 06:00:00", "2024-10-28 05:59:59"),
            range(dailyPeriod(localSeconds(2024, 10, 28, 0, 30, 0))));
}

TEST(Periods, MonthPeriods) {
  EXPECT_EQ(Range("2024-12-01 06:00:00", "2025-01-01 05:59:59"), range(monthPeriod(12, 2024)));
  EXPECT_EQ(Range("2025-01-01 06:00:00", "2025-02-01 05:59:59"), range(monthPeriod(1, 2025)));
  EXPECT_EQ(Range("2024-09-01 06:00:00", "2024-10-01 05:59:59"), range(monthPeriod(9, 2024)));
  EXPECT_EQ(Range("2024-10-01 06:00:00", "2024-11-01 05:59:59"), range(monthPeriod(10, 2024)));
}

// The month follows the business day: before 06:00 on the 1st the month
// that is ending is reported, not the one whose business has not begun.
TEST(Periods, BusinessMonthFollowsTheBusinessDay) {
  struct Case {
    int year, month, day, hour, minute, second;
    Range expected;
  } cases[] = {
      {2026, 12, 1, 1, 30, 0, {"2026-11-01 06:00:00", "2026-12-01 05:59:59"}},
      {2027, 1, 1, 1, 30, 0, {"2026-12-01 06:00:00", "2027-01-01 05:59:59"}},
      {2026, 12, 1, 5, 59, 59, {"2026-11-01 06:00:00", "2026-12-01 05:59:59"}},
      {2026, 12, 1, 6, 0, 0, {"2026-12-01 06:00:00", "2027-01-01 05:59:59"}},
      {2026, 12, 2, 1, 30, 0, {"2026-12-01 06:00:00", "2027-01-01 05:59:59"}},
  };
  for (const Case& c : cases) {
    ReportPeriod p =
        businessMonthPeriod(localSeconds(c.year, c.month, c.day, c.hour, c.minute, c.second));
    EXPECT_EQ(c.expected, range(p))
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
  }
}

TEST(Periods, DisplayTimestampMovesCharacters) {
  EXPECT_EQ("07.12.2024 06:00:00", displayTimestamp("2024-12-07 06:00:00"));
  EXPECT_EQ("01.01.2025 05:59:59", displayTimestamp("2025-01-01 05:59:59"));
  EXPECT_EQ("01.03.2024 05:59:59", displayTimestamp(monthPeriod(2, 2024).end));
  // a text too short to move is given back as it is
  EXPECT_EQ("2024-12-07", displayTimestamp("2024-12-07"));
  EXPECT_EQ("", displayTimestamp(""));
}

}  // namespace
}  // namespace kestrune
