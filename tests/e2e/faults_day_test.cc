// A whole simulated day of the scheduler thread against the real database
// and FTP server: 86,400 ticks through the replaceable clock and sleeper.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "app/app_state.h"
#include "app/scheduler.h"
#include "platform/clock.h"
#include "platform/ftp.h"
#include "tests/support/agent.h"
#include "tests/support/faults.h"

// Freed memory goes back at once, so that resident memory shows what the
// agent keeps rather than AddressSanitizer's quarantine.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
}

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;
using test::summaryRow;

TEST(SimulatedDay, ExpectedRunsAndFlatMemory) {
  ::setenv("LC_ALL", "C", 1);
  test::Restaurant shop;
  shop.seed();
  shop.db->exec(
      "INSERT INTO satislar.shopcharts (transid,ordtyp,cashsum,tmstmp) VALUES "
      "(2,3,7.25,'2026-03-11 08:00:00')");
  AppState app;
  openAgentData(app);

  // Starts at 09:00: monthly candidates at 15:00 and 21:00 (inside the
  // windows), 03:00 and 09:00 (outside).
  const uint32_t kTicks = 86400;
  int64_t now = test::localStamp(2026, 3, 10, 9, 0);
  uint32_t sleeps = 0;
  std::atomic<bool> stop{false};
  std::vector<long> hourlyKb;
  setClockSource([&] { return now; });
  setSleeper([&](int ms) {
    now += ms / 1000;
    if (sleeps % 3600 == 0) hourlyKb.push_back(test::residentKb());
    if (++sleeps > kTicks) stop = true;
  });
  size_t logMark = test::readFile(shop.ftp->log).size();
  test::CapturedErrors errors;
  runScheduler(app, stop);
  setSleeper(nullptr);
  setClockSource(nullptr);

  hourlyKb.push_back(test::residentKb());
  // hour 1 ends at sample 1; the last hour ends at the last sample
  long firstHour = hourlyKb.at(1), lastHour = hourlyKb.back();
  EXPECT_EQ(static_cast<int32_t>(kTicks), app.shared.status.tickCount.load());
  EXPECT_EQ(144, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(2, app.shared.status.monthlyReportsSent.load());
  EXPECT_EQ(0u, errors.count()) << errors.captions();
  std::string log = test::readFile(shop.ftp->log).substr(logMark);
  size_t stored = 0;
  for (size_t at = log.find("<- STOR "); at != std::string::npos; at = log.find("<- STOR ", at + 1))
    ++stored;
  // 144 daily and 2 monthly reports, and the final reports of the closed
  // periods: 09.03 and February after the first run, 10.03 after 06:00;
  // each with its owner's page beside it
  EXPECT_EQ(2 * 149u, stored);
  EXPECT_NE(std::string::npos, log.find("h1_gunluk_20260310.html"));
  // the last run, at 09:00 the next day, covers that business day
  std::string page = test::pageText(test::readFile(shop.remote("h1_gunluk.html")));
  EXPECT_NE(std::string::npos, page.find("<h3>11.03.2026 06:00:00  -  11.03.2026 23:59:59</h3>"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "7.25")));
  std::string monthly = test::pageText(test::readFile(shop.remote("h1_aylik.html")));
  EXPECT_NE(std::string::npos, monthly.find(summaryRow("Nakit", "0.00")));
  EXPECT_LE(lastHour - firstHour, 2048) << "resident memory grows over the day";
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace kestrune
