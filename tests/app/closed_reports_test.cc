// The final reports of closed days and months: which are due, the state
// file, and the delivery against a real MariaDB and FTP server.
#include <gtest/gtest.h>

#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "app/agent.h"
#include "app/one_shot.h"
#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/status.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/ftp.h"
#include "tests/support/faults.h"
#include "tests/support/relay.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::localStamp;

// Berlin rather than Istanbul: its clocks change (29.03.2026, 25.10.2026).
void useBerlinTime() {
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
}

// "days 20261207; months 202611", a range as "first..last (count)".
std::string dueText(const ClosedDue& due) {
  auto range = [](const std::vector<std::string>& names) {
    if (names.size() <= 1) return names.empty() ? std::string("-") : names[0];
    return names.front() + ".." + names.back() + " (" + std::to_string(names.size()) + ")";
  };
  std::vector<std::string> days, months;
  for (int64_t day : due.days) days.push_back(dayDigits(day));
  for (int month : due.months) months.push_back(monthDigits(month));
  return "days " + range(days) + "; months " + range(months);
}

// What closedPeriodsDue corrected, then the record it goes on from.
std::string correctedText(const ClosedDue& due) {
  std::string text = due.dayAhead ? "day ahead; " : "";
  if (due.monthAhead) text += "month ahead; ";
  if (due.skippedDays) text += std::to_string(due.skippedDays) + " days skipped; ";
  if (due.skippedMonths) text += std::to_string(due.skippedMonths) + " months skipped; ";
  return text + closedStateText(due.state);
}

TEST(ClosedPeriods, DueByTheStateAndTheBusinessDay) {
  useBerlinTime();
  struct Case {
    const char* state;  // the state file's text; "" for none
    int64_t now;
    const char* due;
    const char* corrected = nullptr;  // the record to go on from; the state when none
  } cases[] = {
      {"", localStamp(2026, 12, 8, 14, 0), "days 20261207; months 202611"},
      {"", localStamp(2026, 12, 1, 5, 59, 59), "days 20261129; months 202610"},
      {"", localStamp(2026, 12, 1, 6, 0, 0), "days 20261130; months 202611"},
      {"", localStamp(2027, 1, 1, 5, 59, 59), "days 20261230; months 202611"},
      {"", localStamp(2027, 1, 1, 6, 0, 0), "days 20261231; months 202612"},
      {"day=20261207\nmonth=202611\n", localStamp(2026, 12, 8, 23, 0), "days -; months -"},
      {"day=20261207\n", localStamp(2026, 12, 9, 6, 0), "days 20261208; months 202611"},
      {"month=202611\n", localStamp(2027, 1, 2, 6, 0), "days 20270101; months 202612"},
      {"day=20261207\nmonth=202611\n", localStamp(2027, 1, 10, 10, 0),
       "days 20261210..20270109 (31); months 202612",
       "2 days skipped; day=20261209\nmonth=202611\n"},
      {"day=20250101\nmonth=202501\n", localStamp(2026, 12, 8, 14, 0),
       "days 20261107..20261207 (31); months 202512..202611 (12)",
       "674 days skipped; 10 months skipped; day=20261106\nmonth=202511\n"},
      // delivered while the clock was set ahead: taken back to the day and month before
      {"day=20270101\nmonth=202701\n", localStamp(2026, 12, 8, 14, 0), "days -; months -",
       "day ahead; month ahead; day=20261207\nmonth=202611\n"},
      {"day=20261208\nmonth=202612\n", localStamp(2026, 12, 8, 14, 0), "days -; months -",
       "day ahead; month ahead; day=20261207\nmonth=202611\n"},
      // 29.03.2026 has 23 hours, 25.10.2026 25: each is closed at 06:00 the day after
      {"day=20260328\nmonth=202602\n", localStamp(2026, 3, 30, 5, 59, 59), "days -; months -"},
      {"day=20260328\nmonth=202602\n", localStamp(2026, 3, 30, 6, 0, 0), "days 20260329; months -"},
      {"day=20261024\nmonth=202609\n", localStamp(2026, 10, 26, 6, 0, 0),
       "days 20261025; months -"},
  };
  for (const Case& c : cases) {
    ClosedState state;
    EXPECT_EQ(*c.state != 0, parseClosedState(c.state, &state)) << c.state;
    ClosedDue due = closedPeriodsDue(c.now, state);
    EXPECT_EQ(c.due, dueText(due)) << c.state << " at " << c.now;
    EXPECT_EQ(c.corrected ? c.corrected : c.state, correctedText(due)) << c.state;
    EXPECT_EQ(c.state, closedStateText(state));
  }
  ReportPeriod period = businessDayPeriod(dayNumber(2026, 3, 29));
  EXPECT_EQ("2026-03-29 06:00:00 2026-03-30 05:59:59",
            std::string(period.begin) + " " + period.end);
}

TEST(ClosedPeriods, CorruptStateTextsAreRefused) {
  for (const char* text : {"", "\n", "day=20261207", "day=20261307\n", "day=2026127\n",
                           "month=202613\n", "day=20261207\nday=20261208\n", "day=+0261207\n",
                           "day=20261207\r\n", "month=202611\nx\n"}) {
    ClosedState state;
    EXPECT_FALSE(parseClosedState(text, &state)) << text;
  }
}

TEST(ClosedPeriods, OnlyTheAgentsOwnCopiesExpireAfter62Days) {
  int64_t today = dayNumber(2026, 12, 8);
  for (const char* name : {"satis_ozet_gunluk_20261006.html", "satis_ozet_aylik_202609.html",
                           "gunluk_ozet_20261006.html", "aylik_ozet_202609.html"})
    EXPECT_TRUE(expiredClosedCopy(name, today)) << name;
  for (const char* name :
       {"satis_ozet_gunluk_20261007.html", "satis_ozet_aylik_202610.html", "satis_ozet_gunluk.html",
        "satis_ozet_gunluk_20201006.html.tmp", "rapor_gunluk_20201006.html",
        "satis_ozet_gunluk_2020100.html", "satis_ozet_aylik_20200101.html", "kestrune.log",
        "gunluk_ozet_20261007.html", "gunluk_ozet.html", "aylik_ozet.html"})
    EXPECT_FALSE(expiredClosedCopy(name, today)) << name;
}

class ClosedDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    useBerlinTime();
    ::setenv("LC_ALL", "C", 1);
    setFtpTimeouts({3, 3, 3});
    db = &test::database();
    db->resetData();
    ftp = &test::ftpServer(2121, "normal");
    for (const std::string& name : test::filesIn(ftp->remotePath("demo", ""))) forget(name);
    root = test::freshFolder("root");
    settings({});
    db->exec(
        "INSERT INTO company.maininfo (compname,compfolder,mustID,raporlamahash) "
        "VALUES ('Demo Lokanta','demo',1,'hash1')");
    db->exec("INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES (10,'Adana Kebap','PORS')");
    db->exec(
        "INSERT INTO satislar.shopcharts (transid,adisno,ordtyp,cashsum,credsum,ceksum,"
        "senetsum,carisum,ikramsum,isknt,puantaj,toplam,tmstmp) VALUES "
        "(1,1,3,100,0,0,0,0,0,0,0,0,'2026-12-07 06:00:00'),"
        "(2,1,3,10,0,0,0,0,0,0,0,0,'2026-12-08 05:59:59'),"
        "(3,1,3,999,0,0,0,0,0,0,0,0,'2026-12-08 06:00:00')");
  }
  void TearDown() override {
    setClockSource(nullptr);
    setFtpTimeouts(FtpTimeouts{});
    ::unsetenv("LC_ALL");
  }
  void settings(std::map<std::string, std::string> more, const std::string& ipno = "") {
    more["ipno"] = ipno.empty() ? test::testAddress() : ipno;
    more.emplace("ftphost", ftp->settingValue());
    more["root"] = root;
    test::writeSettings(more);
  }
  std::string remote(const std::string& name) {
    return test::readFile(ftp->remotePath("demo", "hash1_" + name + ".html"));
  }
  bool sent(const std::string& name) {
    return test::fileExists(ftp->remotePath("demo", "hash1_" + name + ".html"));
  }
  void forget(const std::string& name) { std::remove(ftp->remotePath("demo", name).c_str()); }
  std::string state() { return test::readFile(root + "/kestrune-closed.txt"); }
  std::string log() { return test::readFile(root + "/kestrune.log"); }
  // The time the server took a file at, as it tells by MDTM.
  void sentAt(const std::string& name, int64_t t) {
    utimbuf times{static_cast<time_t>(t), static_cast<time_t>(t)};
    ASSERT_EQ(0, ::utime(ftp->remotePath("demo", "hash1_" + name + ".html").c_str(), &times));
  }

  test::MariaDb* db = nullptr;
  test::FtpServer* ftp = nullptr;
  std::string root;
  test::CapturedErrors errors;
};

TEST_F(ClosedDelivery, EachClosedPeriodOnceAndAgainAfterAFailedUploadOrRead) {
  AppState app;
  openAgentData(app);
  test::fixClock(localStamp(2026, 12, 8, 14, 0));
  deliverClosedReports(app.reports, app.shared);
  std::string page = test::pageText(remote("gunluk_20261207"));
  EXPECT_NE(std::string::npos, page.find("<h1>GÜNLÜK SATIŞ ÖZETİ</h1>"));
  EXPECT_NE(std::string::npos, page.find("<h3>07.12.2026 06:00:00  -  08.12.2026 05:59:59</h3>"));
  EXPECT_NE(std::string::npos, page.find("<h3>demo - 14:00:00</h3>"));
  EXPECT_NE(std::string::npos, page.find(test::summaryRow("Nakit", "110.00")));
  EXPECT_EQ(remote("gunluk_20261207"),
            test::readFile(root + "/satislar/satis_ozet_gunluk_20261207.html"));
  page = test::pageText(remote("aylik_202611"));
  EXPECT_NE(std::string::npos, page.find("<h3>2026-11-01 06:00:00  -  2026-12-01 05:59:59</h3>"));
  EXPECT_EQ("day=20261207\nmonth=202611\n", state());
  EXPECT_EQ(
      0, app.shared.status.dailyReportsSent.load() + app.shared.status.monthlyReportsSent.load());
  EXPECT_EQ(0u, errors.count()) << errors.captions();

  forget("hash1_gunluk_20261207.html");  // delivered once: not sent again
  deliverClosedReports(app.reports, app.shared);
  EXPECT_FALSE(sent("gunluk_20261207"));

  test::fixClock(localStamp(2026, 12, 9, 6, 0));
  ftp->stop();
  deliverClosedReports(app.reports, app.shared);
  EXPECT_EQ("day=20261207\nmonth=202611\n", state()) << "a failed upload is not recorded";
  ftp->start("normal");
  settings({}, test::otherAddress(9));  // the database is away
  openConnection(app.reports.sales.connection);
  deliverClosedReports(app.reports, app.shared);
  EXPECT_FALSE(sent("gunluk_20261208"));
  EXPECT_EQ("day=20261207\nmonth=202611\n", state()) << "a failed read is not recorded";
  settings({});
  openConnection(app.reports.sales.connection);
  deliverClosedReports(app.reports, app.shared);
  EXPECT_TRUE(sent("gunluk_20261208"));
  EXPECT_EQ("day=20261208\nmonth=202611\n", state());
}

// The daily run and the closed periods after it (their checks on the
// server, their reports and owner's pages) go over one log-in; a delivery
// with nothing due opens no connection.
TEST_F(ClosedDelivery, TheDailyRunAndItsClosedPeriodsGoOverOneLogIn) {
  test::DelayRelay relay;
  relay.start(test::otherAddress(1), ftp->address, ftp->port, 2);
  settings({{"ftphost", relay.address + ":" + std::to_string(ftp->port)}});
  AppState app;
  openAgentData(app);
  test::fixClock(localStamp(2026, 12, 8, 14, 0));
  EXPECT_TRUE(runDailyReportThenClosed(app.reports, app.shared).uploaded);
  for (const char* name : {"gunluk", "gunluk_ozet", "gunluk_20261207", "gunluk_ozet_20261207",
                           "aylik_202611", "aylik_ozet_202611"})
    EXPECT_TRUE(sent(name)) << name;
  EXPECT_EQ(1, relay.controlConnections());
  deliverClosedReports(app.reports, app.shared);
  EXPECT_EQ(1, relay.controlConnections());
  EXPECT_EQ(0u, errors.count()) << errors.captions();
}

TEST_F(ClosedDelivery, CorruptStateIsReportedOnceOldCopiesGoAndTheSwitchTurnsItOff) {
  test::writeFile(root + "/kestrune-closed.txt", "day=2026");
  test::createFolderTree(root + "/satislar");
  for (const char* name : {"satis_ozet_gunluk_20261006.html", "satis_ozet_aylik_202609.html",
                           "satis_ozet_gunluk_20261007.html", "satis_ozet_gunluk.html",
                           "eski_20261006.html", "gunluk_ozet_20261006.html"})
    test::writeFile(root + "/satislar/" + name, "x");
  AppState app;
  openAgentData(app);
  test::fixClock(localStamp(2026, 12, 8, 14, 0));
  deliverClosedReports(app.reports, app.shared);
  deliverClosedReports(app.reports, app.shared);
  EXPECT_EQ("CLOSED_REPORTS", errors.captions());
  EXPECT_EQ("day=20261207\nmonth=202611\n", state()) << "taken as a first start";
  EXPECT_FALSE(sent("gunluk_20261206"));
  // each final report with its owner's page beside it
  EXPECT_EQ((std::vector<std::string>{"aylik_ozet_202611.html", "eski_20261006.html",
                                      "gunluk_ozet_20261207.html", "satis_ozet_aylik_202611.html",
                                      "satis_ozet_gunluk.html", "satis_ozet_gunluk_20261007.html",
                                      "satis_ozet_gunluk_20261207.html"}),
            test::filesIn(root + "/satislar"));

  settings({{"closedreports", "0"}});
  test::fixClock(localStamp(2026, 12, 9, 6, 0));
  deliverClosedReports(app.reports, app.shared);
  EXPECT_FALSE(sent("gunluk_20261208"));
}

TEST_F(ClosedDelivery, AClockSetAheadIsTakenBackAndTheEarlyDayIsMadeAgainWhenItCloses) {
  test::writeFile(root + "/kestrune-closed.txt", "day=20261207\nmonth=202611\n");
  AppState app;
  openAgentData(app);
  test::fixClock(localStamp(2026, 12, 10, 14, 0));  // two days ahead
  deliverClosedReports(app.reports, app.shared);
  EXPECT_EQ("day=20261209\nmonth=202611\n", state());
  test::fixClock(localStamp(2026, 12, 8, 14, 5));  // put right
  deliverClosedReports(app.reports, app.shared);
  deliverClosedReports(app.reports, app.shared);
  EXPECT_EQ("CLOSED_REPORTS", errors.captions()) << "said once";
  EXPECT_EQ("day=20261207\nmonth=202611\n", state());
  // The server's clock was right: it took the early report on 08.12.
  sentAt("gunluk_20261208", localStamp(2026, 12, 8, 14, 0));
  db->exec(
      "INSERT INTO satislar.shopcharts (transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,"
      "carisum,ikramsum,isknt,puantaj,toplam,tmstmp) VALUES "
      "(4,1,3,500,0,0,0,0,0,0,0,0,'2026-12-08 20:00:00')");
  test::fixClock(localStamp(2026, 12, 9, 6, 10));
  deliverClosedReports(app.reports, app.shared);
  EXPECT_NE(std::string::npos,
            test::pageText(remote("gunluk_20261208")).find(test::summaryRow("Nakit", "1499.00")));
  EXPECT_EQ("day=20261208\nmonth=202611\n", state());
}

TEST_F(ClosedDelivery, AFinalReportOnTheServerIsKeptAfterALostStateFile) {
  test::writeFile(ftp->remotePath("demo", "hash1_gunluk_20261207.html"), "final");
  sentAt("gunluk_20261207", localStamp(2026, 12, 8, 6, 1));  // after the day closed
  AppState app;
  openAgentData(app);
  test::fixClock(localStamp(2026, 12, 8, 14, 0));
  deliverClosedReports(app.reports, app.shared);
  EXPECT_TRUE(remote("gunluk_20261207") == "final") << "replaced";
  EXPECT_TRUE(sent("aylik_202611"));
  EXPECT_EQ("day=20261207\nmonth=202611\n", state());
  EXPECT_NE(std::string::npos, log().find("closed day 07.12.2026: already on the server, kept"));
}

TEST_F(ClosedDelivery, TheStatusShowsTheRecordFromStartUpWithoutTheDatabase) {
  test::writeFile(root + "/kestrune-closed.txt", "day=20261207\nmonth=202611\n");
  settings({}, test::otherAddress(9));
  AppState app;
  openAgentData(app);
  std::vector<std::string> lines = readStatusPanel(app.shared).healthLines;
  for (const char* line : {"Son kapanan gün: 07.12.2026", "Son kapanan ay: 11.2026"})
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), line)) << line;
}

TEST_F(ClosedDelivery, RunClosedWithTheSwitchOffEndsWell) {
  settings({{"closedreports", "0"}});
  AppState app;
  EXPECT_EQ(0, runOneShot(app, "closed"));
  EXPECT_NE(std::string::npos, log().find("closed reports are off"));
}

}  // namespace
}  // namespace kestrune
