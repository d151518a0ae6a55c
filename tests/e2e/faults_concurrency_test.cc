// Two export requests while the scheduler thread is in the middle of a
// report run, through the agent's own start-up, control socket and
// scheduler (runAgent in this process, so that ThreadSanitizer sees both
// threads; tools/test-tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/agent.h"
#include "app/app_state.h"
#include "platform/clock.h"
#include "platform/control.h"
#include "platform/ftp.h"
#include "tests/support/agent.h"
#include "tests/support/faults.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;
using test::summaryRow;

// With `awayAtStart` the database is down while the agent starts and back
// before the requests: then both threads read the company record again at
// the same time, and the status panel reads it meanwhile.
class Concurrency : public ::testing::TestWithParam<bool> {};

TEST_P(Concurrency, TwoExportsDuringAReportRunBothCompleteAndTheReportIsRight) {
  const bool awayAtStart = GetParam();
  ::setenv("LC_ALL", "C", 1);
  test::Restaurant shop;
  shop.seed();
  std::string runDir = test::freshFolder("run");
  ::setenv("XDG_RUNTIME_DIR", runDir.c_str(), 1);
  std::string socket = test::controlSocketPath(runDir);
  // The archive half of the daily read takes two seconds on the server.
  shop.db->exec("RENAME TABLE satislar.shpchrtarch TO satislar.shpchrtarch_real");
  shop.db->exec(
      "CREATE VIEW satislar.shpchrtarch AS SELECT * FROM satislar.shpchrtarch_real "
      "WHERE SLEEP(2) = 0");
  shop.db->exec(
      "INSERT INTO satislar.shpchrtarch_real (transid,ordtyp,cashsum,tmstmp) VALUES "
      "(7,2,50,'2026-03-10 12:30:00')");

  // Scheduler ticks pass at once once the test lets them, on a clock that
  // starts at 13:00; after the report run of tick 600 each tick takes 5 ms.
  std::atomic<int64_t> now{test::localStamp(2026, 3, 10, 13, 0)};
  std::atomic<bool> go{false};
  std::atomic<int> ticks{0};
  setClockSource([&] { return now.load(); });
  setSleeper([&](int ms) {
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (++ticks > 600) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now += ms / 1000;
  });

  test::CapturedErrors errors;
  AppState app;
  if (awayAtStart) shop.db->stop();
  std::thread agent([&] { runAgent(app); });
  test::waitFor([&] { return test::fileExists(socket); });
  ASSERT_TRUE(test::fileExists(socket));
  ASSERT_EQ(awayAtStart ? 0 : 1, app.shared.status.dailyReportsSent.load())
      << "the start-up report";
  size_t startErrors = errors.count();
  if (awayAtStart) shop.db->resume();

  go = true;
  std::atomic<bool> reading{true};
  std::thread statusReader([&] {
    while (reading) {
      std::string answer;
      EXPECT_EQ(0, sendToAgent("status", &answer));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  if (!awayAtStart) {
    ASSERT_TRUE(shop.waitForStatement("shpchrtarch")) << "the scheduler's report run";
  }
  std::atomic<int> answered{0};
  auto client = [&] {
    std::string answer;
    EXPECT_EQ(0, sendToAgent("0x488", &answer));
    EXPECT_EQ("ok: export finished, gider.dat uploaded (3 records, 0 images)\n", answer);
    ++answered;
  };
  std::thread a(client), b(client);
  a.join();
  b.join();
  int reportsWhenDone = app.shared.status.dailyReportsSent.load();
  const int expectedReports = awayAtStart ? 1 : 2;
  test::waitFor([&] { return app.shared.status.dailyReportsSent.load() >= expectedReports; });

  reading = false;
  statusReader.join();
  requestEnd();
  agent.join();
  setSleeper(nullptr);
  setClockSource(nullptr);
  ::unsetenv("XDG_RUNTIME_DIR");
  shop.db->exec("DROP VIEW satislar.shpchrtarch");
  shop.db->exec("RENAME TABLE satislar.shpchrtarch_real TO satislar.shpchrtarch");

  if (!awayAtStart) {
    EXPECT_EQ(1, reportsWhenDone) << "the exports did not wait for the report run";
  }
  EXPECT_EQ(2, answered.load());
  EXPECT_EQ(2, app.shared.status.exportsCompleted.load());
  EXPECT_EQ(2, app.shared.status.exportsUploaded.load());
  EXPECT_EQ("1,1", shop.db->scalar("SELECT GROUP_CONCAT(islendi ORDER BY Id) FROM expenses.moves"));
  EXPECT_EQ(3u, test::checkExpenseFile(test::readFile(shop.remote("gider.dat"))).size());
  EXPECT_GE(app.shared.status.dailyReportsSent.load(), expectedReports);
  std::string page = test::pageText(test::readFile(shop.remote("h1_gunluk.html")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "150.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Paket Servis/Take Away", "50.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Tahsilat Toplamİ", "175.50")));
  EXPECT_NE(std::string::npos,
            page.find(test::productRow("20", "Künefe", "1.00", "PORS", "95.50")));
  EXPECT_EQ(startErrors, errors.count()) << errors.captions();
  if (awayAtStart) {
    EXPECT_EQ(
        "READ_COMPANY,READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME,READ_COMPANY,"
        "READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME,READ_GUNLUK_SATIS_OZET,"
        "READ_URUN_SATISLARI_UNION",
        errors.captions());
  }
  ::unsetenv("LC_ALL");
}

INSTANTIATE_TEST_SUITE_P(Start, Concurrency, ::testing::Values(false, true), [](const auto& param) {
  return std::string(param.param ? "DatabaseAwayAtStart" : "DatabaseUp");
});

}  // namespace
}  // namespace kestrune
