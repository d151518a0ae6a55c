// Business-day and month periods with "now" put where the tests need it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "periods/period.h"
#include "platform/clock.h"
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

class Periods : public ::testing::Test {
 protected:
  void TearDown() override { setClockSource(nullptr); }
  void setNow(int64_t t) {
    setClockSource([t] { return t; });
  }
  // The daily period at a local time.
  std::pair<std::string, std::string> dailyAt(int year, int month, int day, int hour, int minute,
                                              int second) {
    setNow(localSeconds(year, month, day, hour, minute, second));
    ReportPeriod p;
    setDailyPeriod(p);
    return {p.begin, p.end};
  }
  using Range = std::pair<std::string, std::string>;
};

TEST_F(Periods, DailyPeriodSwitchesAtSix) {
  EXPECT_EQ(Range("2024-05-14 06:00:00", "2024-05-15 05:59:59"), dailyAt(2024, 5, 15, 5, 59, 59));
  EXPECT_EQ(Range("2024-05-15 06:00:00", "2024-05-15 23:59:59"), dailyAt(2024, 5, 15, 6, 0, 0));
  EXPECT_EQ(Range("2024-05-14 06:00:00", "2024-05-15 05:59:59"), dailyAt(2024, 5, 15, 0, 0, 0));
  EXPECT_EQ(Range("2024-05-15 06:00:00", "2024-05-15 23:59:59"), dailyAt(2024, 5, 15, 23, 59, 59));
}

TEST_F(Periods, EarlyMorningCrossesMonthAndYear) {
  EXPECT_EQ(Range("2024-02-29 06:00:00", "2024-03-01 05:59:59"), dailyAt(2024, 3, 1, 3, 0, 0));
  EXPECT_EQ(Range("2023-02-28 06:00:00", "2023-03-01 05:59:59"), dailyAt(2023, 3, 1, 3, 0, 0));
  EXPECT_EQ(Range("2024-12-31 06:00:00", "2025-01-01 05:59:59"), dailyAt(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(Range("2024-04-30 06:00:00", "2024-05-01 05:59:59"), dailyAt(2024, 5, 1, 5, 59, 59));
}

TEST_F(Periods, ClockTickingDuringTheChoiceStaysOnOneDay) {
  // The first reading says 23:59:59, every later one the next day's 00:00:00.
  int64_t before = localSeconds(2024, 5, 15, 23, 59, 59);
  int calls = 0;
  setClockSource([&] { return calls++ == 0 ? before : before + 1; });
  ReportPeriod p;
  setDailyPeriod(p);
  EXPECT_STREQ("2024-05-15 06:00:00", p.begin);
  EXPECT_STREQ("2024-05-15 23:59:59", p.end);
}

TEST_F(Periods, DaysAndStampFollowTheClock) {
  setNow(localSeconds(2024, 12, 7, 6, 0, 0));
  ReportPeriod p;
  stampNow(p);
  EXPECT_STREQ("07.12.2024", p.dateText);
  EXPECT_STREQ("06:00:00", p.timeText);

  yesterday(p);
  EXPECT_STREQ("06.12.2024", p.dateText);
  EXPECT_EQ(6, p.yesterdayTime.tm_mday);
  tomorrow(p);
  EXPECT_STREQ("08.12.2024", p.dateText);
  EXPECT_EQ(8, p.tomorrowTime.tm_mday);
  today(p);
  EXPECT_STREQ("07.12.2024", p.dateText);
  EXPECT_STREQ("06:00:00", p.timeText);
  EXPECT_EQ(7, p.todayTime.tm_mday);
  EXPECT_EQ(11, p.todayTime.tm_mon);

  setNow(localSeconds(2024, 12, 31, 23, 5, 9));
  tomorrow(p);
  EXPECT_STREQ("01.01.2025", p.dateText);
  EXPECT_STREQ("23:05:09", p.timeText);
}

TEST_F(Periods, DaylightSavingDays) {
  ZoneGuard berlin("Europe/Berlin");
  ASSERT_EQ(23 * 3600, localSeconds(2024, 4, 1, 0, 0, 0) - localSeconds(2024, 3, 31, 0, 0, 0))
      << "time zone data for Europe/Berlin missing";
  ReportPeriod p;

  // 31 March 2024 had 23 hours. Half past midnight after it, now minus a day
  // is 23:30 on 30 March...
  setNow(localSeconds(2024, 4, 1, 0, 30, 0));
  yesterday(p);
  EXPECT_STREQ("30.03.2024", p.dateText);
  EXPECT_STREQ("23:30:00", p.timeText);
  // ...but the business day still began on 31 March.
  setDailyPeriod(p);
  EXPECT_STREQ("2024-03-31 06:00:00", p.begin);
  EXPECT_STREQ("2024-04-01 05:59:59", p.end);

  // The evening before it, tomorrow is half past midnight on 1 April.
  setNow(localSeconds(2024, 3, 30, 23, 30, 0));
  tomorrow(p);
  EXPECT_STREQ("01.04.2024", p.dateText);
  EXPECT_STREQ("00:30:00", p.timeText);

  // 27 October 2024 had 25 hours: at 23:30 a day earlier is 00:30 the same date.
  setNow(localSeconds(2024, 10, 27, 23, 30, 0));
  yesterday(p);
  EXPECT_STREQ("27.10.2024", p.dateText);
  EXPECT_STREQ("00:30:00", p.timeText);
  setNow(localSeconds(2024, 10, 28, 0, 30, 0));
  setDailyPeriod(p);
  EXPECT_STREQ("2024-10-27 06:00:00", p.begin);
  EXPECT_STREQ("2024-10-28 05:59:59", p.end);
}

TEST_F(Periods, MonthPeriods) {
  ReportPeriod p;
  setMonthPeriod(p, 12, 2024);
  EXPECT_STREQ("2024-12-01 06:00:00", p.begin);
  EXPECT_STREQ("2025-01-01 05:59:59", p.end);
  setMonthPeriod(p, 1, 2025);
  EXPECT_STREQ("2025-01-01 06:00:00", p.begin);
  EXPECT_STREQ("2025-02-01 05:59:59", p.end);
  setMonthPeriod(p, 9, 2024);
  EXPECT_STREQ("2024-09-01 06:00:00", p.begin);
  EXPECT_STREQ("2024-10-01 05:59:59", p.end);
  setMonthPeriod(p, 10, 2024);
  EXPECT_STREQ("2024-10-01 06:00:00", p.begin);
  EXPECT_STREQ("2024-11-01 05:59:59", p.end);
}

// The month follows the business day: before 06:00 on the 1st the month
// that is ending is reported, not the one whose business has not begun.
TEST_F(Periods, BusinessMonthFollowsTheBusinessDay) {
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
    setNow(localSeconds(c.year, c.month, c.day, c.hour, c.minute, c.second));
    ReportPeriod p;
    setBusinessMonthPeriod(p);
    EXPECT_EQ(c.expected, Range(p.begin, p.end))
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute;
  }
}

TEST_F(Periods, DisplayTimestampMovesCharacters) {
  EXPECT_EQ("07.12.2024 06:00:00", displayTimestamp("2024-12-07 06:00:00"));
  EXPECT_EQ("01.01.2025 05:59:59", displayTimestamp("2025-01-01 05:59:59"));
  ReportPeriod p;
  setMonthPeriod(p, 2, 2024);
  EXPECT_EQ("01.03.2024 05:59:59", displayTimestamp(p.end));
  // a text too short to move is given back as it is
  EXPECT_EQ("2024-12-07", displayTimestamp("2024-12-07"));
  EXPECT_EQ("", displayTimestamp(""));
}

}  // namespace
}  // namespace kestrune
