// What the agent does when its database fails it: a server away at start-up,
// the second password, settings that are missing or too long, a server that
// dies in the middle of a read or of the marking, and data that is odd in
// every way the columns allow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "app/app_state.h"
#include "app/export_run.h"
#include "app/report_runs.h"
#include "app/status.h"
#include "db/connection.h"
#include "db/text.h"
#include "platform/clock.h"
#include "platform/ftp.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;
using test::summaryRow;

size_t countOf(const test::CapturedErrors& errors, const std::string& caption) {
  size_t n = 0;
  for (const auto& e : errors.all()) n += e.first == caption;
  return n;
}

class DatabaseFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LC_ALL", "C", 1);
    setFtpTimeouts({3, 3, 3});
    shop.seed();
    test::fixClock(test::localStamp(2026, 3, 10, 13, 0));
  }
  void TearDown() override {
    setClockSource(nullptr);
    setFtpTimeouts(FtpTimeouts{});
    ::unsetenv("LC_ALL");
    if (!shop.db->running()) shop.db->resume();
    if (shop.db->password != kFirstPassword) shop.db->setRootPassword(kFirstPassword);
  }
  std::string dailyPage() const {
    return test::pageText(test::readFile(shop.remote("h1_gunluk.html")));
  }
  std::string islendi() const {
    return shop.db->scalar("SELECT GROUP_CONCAT(islendi ORDER BY Id) FROM expenses.moves");
  }

  test::Restaurant shop;
};

// The server is away when the agent starts and comes back later, with the
// first password or with the second: every failing query reports once per
// run, nothing goes to the server while the company is unknown, and the first
// run after the server is back sends a correct report and export.
class DownAtStartUp : public DatabaseFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(DownAtStartUp, NextRunAfterTheServerIsBackIsCorrect) {
  shop.db->setRootPassword(GetParam());
  shop.db->stop();
  test::CapturedErrors errors;
  AppState app;
  auto started = Clock::now();
  openAgentData(app);
  double startUp = secondsSince(started);
  EXPECT_EQ("READ_COMPANY,READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME",
            errors.captions());

  started = Clock::now();
  runDailyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  double failedRuns = secondsSince(started);
  EXPECT_EQ(
      "READ_COMPANY,READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME,"
      "READ_COMPANY,READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME,"
      "READ_GUNLUK_SATIS_OZET,READ_URUN_SATISLARI_UNION,"
      "READ_COMPANY,READ_GIDER_GRUPLAR,READ_GIDER_TANIM,READ_GIDER_MOVES,READ_GIDER_MOVES",
      errors.captions());
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(0, app.shared.status.exportsUploaded.load());
  EXPECT_EQ(1, app.shared.status.exportsCompleted.load());
  EXPECT_TRUE(shop.filesOnServer().empty()) << "nothing lands in the folder all restaurants share";
  EXPECT_FALSE(test::fileExists(shop.root + "/satislar/satis_ozet_gunluk.html"));
  EXPECT_LT(startUp + failedRuns, 30.0);

  shop.db->resume();
  size_t before = errors.count();
  runDailyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(before, errors.count()) << errors.captions();
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  std::string page = dailyPage();
  EXPECT_NE(std::string::npos, page.find("<h3>demo - 13:00:00</h3>"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "100.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Tahsilat Toplamİ", "125.50")));
  EXPECT_NE(std::string::npos,
            page.find(test::productRow("20", "Künefe", "1.00", "PORS", "95.50")));
  EXPECT_EQ(3u, test::checkExpenseFile(test::readFile(shop.remote("gider.dat"))).size());
  EXPECT_EQ("1,1", islendi());
  EXPECT_EQ(1, app.shared.status.exportsUploaded.load());
  EXPECT_NE(std::string::npos, statusPanelText(readStatusPanel(app.shared)).find("Firma: Köşk\n"));
}

INSTANTIATE_TEST_SUITE_P(Passwords, DownAtStartUp,
                         ::testing::Values(kFirstPassword, kSecondPassword), [](const auto& param) {
                           return std::string(param.param) == kFirstPassword ? "FirstPassword"
                                                                             : "SecondPassword";
                         });

TEST_F(DatabaseFaults, SecondPasswordGivesCorrectReportsAndExport) {
  shop.db->setRootPassword(kSecondPassword);
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  EXPECT_STREQ(kSecondPassword, app.reports.sales.connection.password);
  runDailyReport(app.reports, app.shared);
  test::fixClock(test::localStamp(2026, 3, 10, 16, 0));
  runMonthlyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(0u, errors.count()) << errors.captions();
  EXPECT_NE(std::string::npos, dailyPage().find(summaryRow("Kredi", "25.50")));
  std::string monthly = test::pageText(test::readFile(shop.remote("h1_aylik.html")));
  EXPECT_NE(std::string::npos,
            monthly.find(test::productRow("10", "Ayran", "2.00", "ADET", "30.00")));
  EXPECT_EQ("1,1", islendi());
}

// The password is changed while the agent runs: the next runs log in with the
// other one, without an error and without a restart.
TEST_F(DatabaseFaults, PasswordChangedWhileTheAgentRuns) {
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  shop.db->setRootPassword(kSecondPassword);
  RunOutcome daily, exported;
  daily = runDailyReport(app.reports, app.shared);
  exported = runExpenseExport(app.exports, app.shared);
  EXPECT_TRUE(daily.uploaded && exported.uploaded) << daily.reason << exported.reason;
  EXPECT_EQ(0u, errors.count()) << errors.captions();
}

// Settings missing, or an address of 40 bytes or more: every query reports,
// nothing is sent anywhere, and once the settings are right the next run
// works without a restart.
TEST_F(DatabaseFaults, MissingOrOverlongSettingsReportAndRecoverWithoutRestart) {
  for (const char* why : {"missing", "overlong"}) {
    SCOPED_TRACE(why);
    if (std::string(why) == "missing")
      test::writeSettings({});
    else
      test::writeSettings({{"ipno", std::string(40, '1')},
                           {"ftphost", shop.ftp->settingValue()},
                           {"root", shop.root}});
    test::CapturedErrors errors;
    AppState app;
    auto started = Clock::now();
    openAgentData(app);
    runDailyReport(app.reports, app.shared);
    runExpenseExport(app.exports, app.shared);
    double took = secondsSince(started);
    EXPECT_EQ(1u, countOf(errors, "READ_GUNLUK_SATIS_OZET"));
    EXPECT_EQ(3u, countOf(errors, "READ_COMPANY")) << "start-up, the daily run, the export";
    EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
    EXPECT_TRUE(shop.filesOnServer().empty());
    EXPECT_LT(took, 60.0);

    test::writeSettings({{"ipno", test::testAddress()},
                         {"ftphost", shop.ftp->settingValue()},
                         {"root", shop.root}});
    size_t before = errors.count();
    runDailyReport(app.reports, app.shared);
    runExpenseExport(app.exports, app.shared);
    EXPECT_EQ(before, errors.count()) << errors.captions();
    EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
    EXPECT_EQ(1, app.shared.status.exportsUploaded.load());
    EXPECT_NE(std::string::npos, dailyPage().find(summaryRow("Nakit", "100.00")));
    shop.clearRemote();
  }
}

// One of the four export reads fails (here the notes): a file without the
// notes would replace the whole one on the server and the rows would be
// marked; instead nothing is written, sent or marked until all four read.
TEST_F(DatabaseFaults, ExportWithAFailedReadSendsAndMarksNothing) {
  shop.db->exec("INSERT INTO expenses.notes (trid,note) VALUES (100,'fatura no 7')");
  AppState app;
  openAgentData(app);
  runExpenseExport(app.exports, app.shared);
  std::string whole = test::readFile(shop.remote("gider.dat"));
  ASSERT_EQ(3u * 544, whole.size());
  shop.db->exec("UPDATE expenses.moves SET islendi = 0");
  shop.db->exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,donem) VALUES (3,102,5,CURDATE())");

  shop.db->exec("RENAME TABLE expenses.notes TO expenses.notes_away");
  test::CapturedErrors errors;
  runExpenseExport(app.exports, app.shared);
  shop.db->exec("RENAME TABLE expenses.notes_away TO expenses.notes");
  EXPECT_EQ("READ_GIDER_MOVES", errors.captions()) << "the notes read";
  EXPECT_EQ(whole, test::readFile(shop.remote("gider.dat")));
  EXPECT_EQ(whole, test::readFile(shop.root + "/giderler/gider.dat"));
  EXPECT_EQ("0,0,0", islendi());
  EXPECT_EQ(1, app.shared.status.exportsUploaded.load());
  EXPECT_EQ(2, app.shared.status.exportsCompleted.load());

  runExpenseExport(app.exports, app.shared);
  std::vector<ExpenseMove> records =
      test::checkExpenseFile(test::readFile(shop.remote("gider.dat")));
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ("fatura no 7", fieldText(records[0].note));
  EXPECT_EQ("1,1,1", islendi());
}

// The server is killed while it works on the first query of a monthly run:
// that query reports once, each later query of the run reports once, no
// exception leaves the run, and the run after the restart is correct.
TEST_F(DatabaseFaults, ServerKilledDuringAMonthlyRead) {
  AppState app;
  openAgentData(app);
  shop.db->exec("RENAME TABLE satislar.shpchrtarch TO satislar.shpchrtarch_real");
  shop.db->exec(
      "CREATE VIEW satislar.shpchrtarch AS SELECT * FROM satislar.shpchrtarch_real "
      "WHERE SLEEP(60) = 0");
  shop.db->exec(
      "INSERT INTO satislar.shpchrtarch_real (transid,tmstmp) VALUES (9,'2026-03-02 10:00:00')");
  test::fixClock(test::localStamp(2026, 3, 10, 16, 0));
  test::CapturedErrors errors;
  bool escaped = false;
  double afterKill = 0;
  std::thread run([&] {
    try {
      runMonthlyReport(app.reports, app.shared);
    } catch (...) {
      escaped = true;
    }
  });
  ASSERT_TRUE(shop.waitForStatement("shpchrtarch"));
  auto killed = Clock::now();
  shop.db->killHard();
  run.join();
  afterKill = secondsSince(killed);
  EXPECT_FALSE(escaped);
  EXPECT_EQ(
      "READ_SATIS_OZET,READ_KASA_MOVES_TOPLAM,READ_BANK_MOVES_TOPLAM,READ_CEK_MOVES_TOPLAM,"
      "READ_URUN_SATISLARI_UNION",
      errors.captions());
  EXPECT_LT(afterKill, 15.0);

  shop.db->resume();
  shop.db->exec("DROP VIEW satislar.shpchrtarch");
  shop.db->exec("RENAME TABLE satislar.shpchrtarch_real TO satislar.shpchrtarch");
  size_t before = errors.count();
  runMonthlyReport(app.reports, app.shared);
  EXPECT_EQ(before, errors.count()) << errors.captions();
  std::string monthly = test::pageText(test::readFile(shop.remote("h1_aylik.html")));
  EXPECT_NE(std::string::npos, monthly.find(summaryRow("Masaya Servis", "125.50")));
  EXPECT_NE(std::string::npos,
            monthly.find(test::productRow("20", "Künefe", "1.00", "PORS", "95.50")));
}

// The server is killed while the second of three marking statements waits:
// the first 500 movements stay marked, the rest stay as they were, and the
// next export marks them.
TEST_F(DatabaseFaults, ServerKilledDuringTheMarking) {
  shop.db->exec("DELETE FROM expenses.moves");
  shop.db->exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
      "islendi) SELECT seq, 1000 + seq, 5, 1, seq / 4, NOW(), CURDATE(), '', 0 "
      "FROM expenses.seq_1_to_1500");
  shop.db->exec(
      "CREATE TRIGGER expenses.slow_900 BEFORE UPDATE ON expenses.moves FOR EACH ROW "
      "IF NEW.Id = 900 THEN SET @waited = SLEEP(60); END IF");
  AppState app;
  openAgentData(app);
  test::CapturedErrors errors;
  bool escaped = false;
  std::thread run([&] {
    try {
      runExpenseExport(app.exports, app.shared);
    } catch (...) {
      escaped = true;
    }
  });
  ASSERT_TRUE(shop.waitForStatement("SLEEP"));
  EXPECT_EQ("500", shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1"));
  auto killed = Clock::now();
  shop.db->killHard();
  run.join();
  double afterKill = secondsSince(killed);
  EXPECT_FALSE(escaped);
  EXPECT_EQ("UPDATE_SET_GIDERMOVE_ISLENDI", errors.captions());
  EXPECT_EQ(1, app.shared.status.exportsCompleted.load());
  EXPECT_LT(afterKill, 15.0);

  shop.db->resume();
  // Only whole statements: exactly the first 500 movements of the file.
  std::vector<ExpenseMove> sent = test::checkExpenseFile(test::readFile(shop.remote("gider.dat")));
  ASSERT_EQ(1501u, sent.size());
  EXPECT_EQ("500", shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1"));
  EXPECT_EQ("0",
            shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi NOT IN (0, 1)"));
  std::string marked =
      shop.db->scalar("SELECT GROUP_CONCAT(Id ORDER BY Id) FROM expenses.moves WHERE islendi = 1");
  std::string expected;
  for (size_t i = 0; i < 500; ++i) expected += (i ? "," : "") + std::to_string(sent[i].Id);
  EXPECT_EQ(expected, marked);

  shop.db->exec("DROP TRIGGER expenses.slow_900");
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ("1500", shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1"));
  EXPECT_EQ(1u, errors.count()) << errors.captions();
}

}  // namespace
}  // namespace kestrune
