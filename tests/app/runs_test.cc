// Daily and monthly report runs end to end: seeded rows in a real MariaDB, the
// document in the sales folder, the same bytes on a real FTP server.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "app/app_state.h"
#include "app/report_runs.h"
#include "platform/clock.h"
#include "platform/control.h"
#include "platform/ftp.h"
#include "platform/text.h"
#include "reports/product_rows.h"
#include "tests/support/faults.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::localStamp;
using test::pageText;
using test::productRow;
using test::summaryRow;

class Runs : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LC_ALL", "C", 1);
    setFtpTimeouts({3, 3, 3});
    db = &test::database();
    db->resetData();
    ftp = &test::ftpServer(2121, "normal");
    std::remove(ftp->remotePath("demo", "hash1_gunluk.html").c_str());
    std::remove(ftp->remotePath("demo", "hash1_aylik.html").c_str());
    root = test::freshFolder("root");
    test::writeSettings(
        {{"ipno", test::testAddress()}, {"ftphost", ftp->settingValue()}, {"root", root}});
    db->exec(
        "INSERT INTO company.maininfo (compname,compfolder,mustID,raporlamahash) "
        "VALUES ('Demo Lokanta','demo',1,'hash1')");
    db->exec(
        "INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES "
        "(10,'Adana Kebap','PORS'),(20,'Ayran','ADET'),(30,'Künefe','PORS'),"
        "(40,'İkram Çay','BARDAK'),(50,'Çorba','KASE')");
  }
  void TearDown() override {
    setClockSource(nullptr);
    setFtpTimeouts(FtpTimeouts{});
    ::unsetenv("LC_ALL");
  }
  void at(int64_t t) {
    setClockSource([t] { return t; });
  }
  void receipt(const std::string& time, int ordtyp, double cash, double card,
               const char* table = "shopcharts") {
    db->exec(std::string("INSERT INTO satislar.") + table +
             " (transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,isknt,"
             "puantaj,toplam,tmstmp) VALUES (1,1," +
             std::to_string(ordtyp) + "," + std::to_string(cash) + "," + std::to_string(card) +
             ",0,0,0,0,0,0,0,'" + time + "')");
  }
  void item(const std::string& time, long long stcode, double qua, double tutar, int status = 0) {
    static int id = 0;
    db->exec(
        "INSERT INTO oturum.orderitems (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,"
        "adet,qua,prc,tutar,status,reason,cost,kdv,time) VALUES (" +
        std::to_string(++id) + ",1,3,1,1,1,1," + std::to_string(stcode) + ",1," +
        std::to_string(qua) + "," + std::to_string(tutar) + "," + std::to_string(tutar) + "," +
        std::to_string(status) + ",0,0,8,'" + time + "')");
  }
  std::string local(const char* kind) {
    return test::readFile(root + "/satislar/satis_ozet_" + std::string(kind) + ".html");
  }
  std::string remote(const char* kind) {
    return test::readFile(ftp->remotePath("demo", std::string("hash1_") + kind + ".html"));
  }

  test::MariaDb* db = nullptr;
  test::FtpServer* ftp = nullptr;
  std::string root;
  test::CapturedErrors errors;
};

TEST_F(Runs, DailyBeforeSixCoversYesterdayFromSix) {
  receipt("2026-03-09 05:59:59", 3, 999, 0);   // the business day before
  receipt("2026-03-09 06:00:00", 3, 100, 50);  // first second
  receipt("2026-03-10 05:59:59", 2, 10, 0);    // last second
  receipt("2026-03-10 06:00:00", 3, 999, 0);   // the next business day
  item("2026-03-09 12:00:00", 10, 2, 300);
  item("2026-03-10 05:00:00", 20, 3, 45);
  item("2026-03-10 06:00:00", 30, 1, 999);
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 3, 10, 5, 59, 0));
  runDailyReport(app.reports, app.shared);

  std::string page = pageText(local("gunluk"));
  EXPECT_NE(std::string::npos, page.find("<h3>09.03.2026 06:00:00  -  10.03.2026 05:59:59</h3>"));
  EXPECT_NE(std::string::npos, page.find("<h3>demo - 05:59:00</h3>"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "110.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Kredi", "50.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Masaya Servis", "150.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Paket Servis/Take Away", "10.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Tahsilat Toplamİ", "160.00")));
  EXPECT_NE(std::string::npos,
            page.find(productRow("10", "Adana Kebap", "2.00", "PORS", "300.00")));
  EXPECT_NE(std::string::npos, page.find(productRow("20", "Ayran", "3.00", "ADET", "45.00")));
  EXPECT_EQ(std::string::npos, page.find("Künefe"));
  EXPECT_NE(std::string::npos,
            page.find("<th class=\"col5\">Toplam</th></td><td align=\"left\"><th "
                      "class=\"col1\">:</th></td><td align=\"left\"><th "
                      "class=\"col1\"></th></td><td align=\"right\"><th "
                      "class=\"col0\">345.00</th>"));
  EXPECT_EQ(local("gunluk"), remote("gunluk"));
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(0u, errors.count()) << errors.captions();
}

TEST_F(Runs, DailyFromSixCoversTodayUntilMidnight) {
  receipt("2026-03-10 05:59:59", 3, 999, 0);
  receipt("2026-03-10 06:00:00", 3, 20, 0);
  receipt("2026-03-10 23:59:59", 3, 5, 0);
  receipt("2026-03-11 00:00:00", 3, 999, 0);
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 3, 10, 6, 0, 0));
  runDailyReport(app.reports, app.shared);
  std::string page = pageText(remote("gunluk"));
  EXPECT_NE(std::string::npos, page.find("<h3>10.03.2026 06:00:00  -  10.03.2026 23:59:59</h3>"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "25.00")));
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
}

TEST_F(Runs, MonthlyInDecemberRollsIntoJanuaryAndTakesMovementSums) {
  receipt("2026-12-01 05:59:59", 3, 999, 0);
  receipt("2026-12-01 06:00:00", 3, 100, 40, "shpchrtarch");
  receipt("2027-01-01 05:59:59", 1, 50, 0);
  receipt("2027-01-01 06:00:00", 3, 999, 0);
  db->exec(
      "INSERT INTO kasa.moves (amount,time) VALUES (70,'2026-12-15 10:00:00'),(5,'2027-01-02 "
      "10:00:00')");
  db->exec("INSERT INTO banks.moves (amount,time) VALUES (33.5,'2026-12-31 23:00:00')");
  item("2026-12-20 20:00:00", 50, 4, 120);
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 12, 20, 16, 0, 0));
  runMonthlyReport(app.reports, app.shared);
  std::string page = pageText(remote("aylik"));
  EXPECT_NE(std::string::npos, page.find("<h1>AYLIK SATIŞ ÖZETİ</h1>"));
  EXPECT_NE(std::string::npos, page.find("<h3>demo - 16:00:00</h3>")) << "no daily run named it";
  EXPECT_NE(std::string::npos, page.find("<h3>2026-12-01 06:00:00  -  2027-01-01 05:59:59</h3>"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "70.00")));  // cash box moves
  EXPECT_NE(std::string::npos, page.find(summaryRow("Kredi", "33.50")));  // bank moves
  EXPECT_NE(std::string::npos, page.find(summaryRow("Çek", "0.00")));     // no cheque moves
  EXPECT_NE(std::string::npos, page.find(summaryRow("Masaya Servis", "140.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Telefon Sipariş", "50.00")));
  EXPECT_NE(std::string::npos, page.find(productRow("50", "Çorba", "4.00", "KASE", "120.00")));
  EXPECT_EQ(local("aylik"), remote("aylik"));
  EXPECT_EQ(1, app.shared.status.monthlyReportsSent.load());
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
}

TEST_F(Runs, ProductTableTakesOnlyKnownProductsWithAPositiveAmount) {
  item("2026-03-10 12:00:00", 40, 2, 0);    // only given away at 0
  item("2026-03-10 12:00:00", 999, 1, 75);  // unknown code
  item("2026-03-10 12:00:00", 10, 1, 150);
  receipt("2026-03-10 12:00:00", 3, 225, 0);
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 3, 10, 13, 0, 0));
  runDailyReport(app.reports, app.shared);
  std::string page = pageText(local("gunluk"));
  EXPECT_EQ(std::string::npos, page.find("İkram Çay"));
  EXPECT_EQ(std::string::npos, page.find(">999<"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Masaya Servis", "225.00")));
  EXPECT_NE(std::string::npos, page.find("class=\"col0\">150.00</th>"));
}

TEST_F(Runs, ACodeTwiceInTheNameListGetsItsTotalsOnlyOnce) {
  SalesData sales;
  StockDefinition a, b, c;
  a.stcode = 7, b.stcode = 7, c.stcode = 8;
  sales.stockByName = {a, b, c};
  StockDefinition sold = a;
  sold.salesAmount = 12.5, sold.soldQuantity = 1, sold.soldCount = 1;
  StockDefinition zero = c;
  zero.soldQuantity = 3;  // sold at 0: not copied
  sales.stockByCode = {sold, zero};
  sales.stockByName[1].salesAmount = 99;  // left over from an earlier run
  mergeCodeListIntoNameList(sales);
  EXPECT_EQ(12.5, sales.stockByName[0].salesAmount);
  EXPECT_EQ(0.0, sales.stockByName[1].salesAmount);
  EXPECT_EQ(0.0, sales.stockByName[2].soldQuantity);
}

TEST_F(Runs, UnreachableDatabaseWritesAndUploadsNothing) {
  AppState app;
  openAgentData(app);  // with the database up: company and products known
  test::writeSettings(
      {{"ipno", test::otherAddress(9)}, {"ftphost", ftp->settingValue()}, {"root", root}});
  openConnection(app.reports.sales.connection);  // the sales server is now away
  at(localStamp(2026, 3, 10, 13, 0, 0));
  test::CapturedErrors away;
  runDailyReport(app.reports, app.shared);
  const std::string lists = "READ_STOK_TANIMLARI_BY_NAME,READ_STOK_TANIMLARI_BY_NAME,";
  EXPECT_EQ(lists + "READ_GUNLUK_SATIS_OZET,READ_URUN_SATISLARI_UNION", away.captions());
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
  EXPECT_FALSE(test::fileExists(ftp->remotePath("demo", "hash1_gunluk.html")));
  runMonthlyReport(app.reports, app.shared);
  EXPECT_EQ(lists + "READ_GUNLUK_SATIS_OZET,READ_URUN_SATISLARI_UNION," + lists +
                "READ_SATIS_OZET,READ_KASA_MOVES_TOPLAM,READ_BANK_MOVES_TOPLAM,"
                "READ_CEK_MOVES_TOPLAM,READ_URUN_SATISLARI_UNION",
            away.captions());
}

// Any one read of a run fails: nothing is written, uploaded or counted, and
// the last good report stays, here and on the server.
TEST_F(Runs, AFailedReadKeepsTheLastGoodReport) {
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 3, 10, 13, 0, 0));
  runMonthlyReport(app.reports, app.shared);
  std::string page = remote("aylik");
  at(localStamp(2026, 3, 10, 13, 10, 0));  // a page written now would differ
  for (const char* table :
       {"satislar.shpchrtarch", "kasa.moves", "banks.moves", "cekler.moves", "oturum.orderitems"}) {
    SCOPED_TRACE(table);
    db->exec(std::string("RENAME TABLE ") + table + " TO " + table + "_away");
    RunOutcome outcome;
    outcome = runMonthlyReport(app.reports, app.shared);
    db->exec(std::string("RENAME TABLE ") + table + "_away TO " + table);
    EXPECT_EQ("a database read failed", outcome.reason);
    EXPECT_EQ(page, local("aylik"));
    EXPECT_EQ(page, remote("aylik"));
    EXPECT_EQ(1, app.shared.status.monthlyReportsSent.load());
  }
}

// A product added to the menu after start-up is in the next report; a failed
// re-read keeps the lists of the last whole read, and without one nothing is written.
TEST_F(Runs, EveryRunReadsTheStockListsAgain) {
  AppState app, never;
  openAgentData(app);
  db->exec("INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES (60,'Lahmacun','ADET')");
  item("2026-03-10 12:00:00", 60, 3, 90);
  at(localStamp(2026, 3, 10, 13, 0, 0));
  const std::string sold = productRow("60", "Lahmacun", "3.00", "ADET", "90.00");
  runDailyReport(app.reports, app.shared);
  EXPECT_NE(std::string::npos, pageText(remote("gunluk")).find(sold));
  db->exec("RENAME TABLE stocks.stckdef TO stocks.stckdef_away");
  openAgentData(never);
  RunOutcome kept, none;
  kept = runDailyReport(app.reports, app.shared);
  none = runDailyReport(never.reports, never.shared);
  db->exec("RENAME TABLE stocks.stckdef_away TO stocks.stckdef");
  EXPECT_TRUE(kept.uploaded) << kept.reason;
  EXPECT_NE(std::string::npos, pageText(remote("gunluk")).find(sold));
  EXPECT_EQ("the stock lists could not be read", none.reason);
  EXPECT_EQ(0, never.shared.status.dailyReportsSent.load());
}

TEST_F(Runs, FailedUploadOrDocumentLeavesTheCounterUnchanged) {
  AppState app;
  openAgentData(app);
  at(localStamp(2026, 3, 10, 13, 0, 0));
  app.shared.company.record.compfolder = "no-such-folder";
  int refreshes = statusRefreshCount();
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(refreshes + 1, statusRefreshCount()) << "the panel shows the failed folder";
  EXPECT_TRUE(test::fileExists(root + "/satislar/satis_ozet_gunluk.html"));

  app.shared.company.record.compfolder = "demo";
  app.shared.folders.salesFolder = root + "/missing/satislar";  // cannot be written
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
  EXPECT_FALSE(test::fileExists(ftp->remotePath("demo", "hash1_gunluk.html")));
  EXPECT_NE(std::string::npos, errors.captions().find("WRITE_SATIS_OZET"));
}

}  // namespace
}  // namespace kestrune
