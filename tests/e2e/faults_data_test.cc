// Data that is odd in every way the columns allow, from the real database to
// the page and gider.dat on the real FTP server: NULL in every column read,
// names far longer than their fields, bytes that are not UTF-8, markup in
// names, negative, zero and huge amounts, the extreme product codes, and
// ten thousand products that share a hundred names.
#include <gtest/gtest.h>

#include <map>

#include "app/app_state.h"
#include "app/export_run.h"
#include "app/report_runs.h"
#include "db/text.h"
#include "platform/clock.h"
#include "platform/ftp.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

using test::productRow;
using test::summaryRow;

class OddData : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LC_ALL", "C", 1);
    setFtpTimeouts({3, 3, 3});
    shop.seed();
    db = shop.db;
    for (const char* t :
         {"company.maininfo", "stocks.stckdef", "satislar.shopcharts", "oturum.orderitems",
          "expenses.grpb", "expenses.expenses", "expenses.moves", "expenses.notes"})
      db->exec(std::string("DELETE FROM ") + t);
    test::fixClock(test::localStamp(2026, 3, 10, 13, 0));
  }
  void TearDown() override {
    // Back to text columns for the next test (bytes that are not UTF-8 would not convert).
    db->exec("DELETE FROM stocks.stckdef");
    db->exec("DELETE FROM expenses.grpb");
    db->exec("ALTER TABLE stocks.stckdef MODIFY stname VARCHAR(400)");
    db->exec("ALTER TABLE expenses.grpb MODIFY name VARCHAR(400)");
    setClockSource(nullptr);
    setFtpTimeouts(FtpTimeouts{});
    ::unsetenv("LC_ALL");
  }
  void item(long long stcode, const std::string& tutar) {
    static int id = 0;
    db->exec(
        "INSERT INTO oturum.orderitems (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,"
        "adet,qua,prc,tutar,status,reason,cost,kdv,time) VALUES (" +
        std::to_string(++id) + ",1,3,1,1,1,1," + std::to_string(stcode) + ",1,1," + tutar + "," +
        tutar + ",0,0,0,8,'2026-03-10 12:00:00')");
  }
  std::string remote(const std::string& folder, const std::string& name) const {
    return shop.ftp->remotePath(folder, name);
  }

  test::Restaurant shop;
  test::MariaDb* db = nullptr;
  test::CapturedErrors errors;
};

TEST_F(OddData, NullInEveryColumnRead) {
  db->exec("INSERT INTO company.maininfo (compname) VALUES (NULL)");
  db->exec("INSERT INTO stocks.stckdef (stcode) VALUES (NULL)");
  for (const char* t : {"satislar.shopcharts", "satislar.shpchrtarch"})
    db->exec(std::string("INSERT INTO ") + t + " (tmstmp) VALUES ('2026-03-10 12:00:00')");
  for (const char* t :
       {"oturum.orderitems", "oturum.orderitarch", "kasa.moves", "banks.moves", "cekler.moves"})
    db->exec(std::string("INSERT INTO ") + t + " (time) VALUES ('2026-03-10 12:00:00')");
  db->exec("INSERT INTO expenses.grpb () VALUES ()");
  db->exec("INSERT INTO expenses.expenses () VALUES ()");
  db->exec("INSERT INTO expenses.notes () VALUES ()");
  db->exec("INSERT INTO expenses.moves (donem,islendi) VALUES (CURDATE(),NULL)");

  AppState app;
  openAgentData(app);
  runDailyReport(app.reports, app.shared);
  test::fixClock(test::localStamp(2026, 3, 10, 16, 0));
  runMonthlyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  // No company folder: nothing is sent (it would land in the folder all
  // restaurants share), said once by each run, until the record has one.
  EXPECT_EQ("UPLOAD_COMPFOLDER,UPLOAD_COMPFOLDER,UPLOAD_COMPFOLDER", errors.captions());
  EXPECT_TRUE(shop.filesOnServer().empty());
  db->exec("UPDATE company.maininfo SET compfolder = 'demo'");
  runDailyReport(app.reports, app.shared);
  runMonthlyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(3u, errors.count()) << errors.captions();

  // An empty reporting key: "_" names in the restaurant's folder.
  for (const char* name : {"_gunluk.html", "_aylik.html"}) {
    std::string page = test::readFile(remote("demo", name));
    EXPECT_TRUE(test::checkPage(page).empty()) << name;
    EXPECT_NE(std::string::npos, page.find(summaryRow("Tahsilat Toplam\xDD", "0.00"))) << name;
  }
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(1, app.shared.status.monthlyReportsSent.load());
  std::vector<ExpenseMove> records =
      test::checkExpenseFile(test::readFile(remote("demo", "gider.dat")));
  ASSERT_EQ(2u, records.size());
  ExpenseMove expected;
  expected.Id = records[0].Id;
  std::memcpy(expected.donem, records[0].donem, sizeof expected.donem);
  EXPECT_EQ(db->scalar("SELECT CURDATE()"), fieldText(records[0].donem));
  EXPECT_EQ(0, std::memcmp(&expected, &records[0], sizeof expected)) << "zero and empty everywhere";
  EXPECT_EQ("1", db->scalar("SELECT islendi FROM expenses.moves"));
}

TEST_F(OddData, LongBrokenAndMarkupNamesAndExtremeNumbers) {
  db->exec("ALTER TABLE stocks.stckdef MODIFY stname VARBINARY(400)");
  db->exec("ALTER TABLE expenses.grpb MODIFY name VARBINARY(400)");
  db->exec(
      "INSERT INTO company.maininfo (compname,compfolder,raporlamahash) VALUES "
      "('<Köşk & \"Ev\">','demo','h1')");
  db->exec(
      "INSERT INTO stocks.stckdef (stcode,stname,unit) VALUES "
      "(1,REPEAT('A',300),'ADET'),(2,CONVERT(REPEAT('ş',150) USING binary),'PORS'),"
      "(3,'<b>&\"x\"</b>','<&>'),(4,X'4179FF72616EC3','ADET'),"
      "(-9223372036854775808,'Min','ADET'),(9223372036854775807,'Max','ADET'),"
      "(5,CONVERT('Çay' USING binary),'BARDAK'),(6,CONVERT('Çay' USING binary),'BARDAK'),"
      "(7,'Sifir','ADET'),(8,'Eksi','ADET')");
  item(1, "10");
  item(2, "20");
  item(3, "30");
  item(4, "40");
  item(INT64_MIN, "1e9");
  item(INT64_MAX, "0.01");
  item(5, "5");
  item(6, "6");
  item(7, "0");
  item(8, "-50");
  db->exec(
      "INSERT INTO satislar.shopcharts (transid,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,"
      "ikramsum,isknt,puantaj,toplam,tmstmp) VALUES (1,3,1e9,-50,0,0,0,0,0,0,0,"
      "'2026-03-10 12:00:00')");

  db->exec(
      "INSERT INTO expenses.grpb (acode,bcode,name) VALUES "
      "(1,1,CONVERT(REPEAT('ş',150) USING binary)),(1,2,X'47727570FFC3')");
  db->exec(
      "INSERT INTO expenses.expenses (code,bcode,name) VALUES "
      "(5,1,'<Elektrik & \"Su\">'),(6,2,REPEAT('B',300))");
  db->exec(
      "INSERT INTO expenses.notes (trid,note) VALUES (100,REPEAT('n',300)),"
      "(9223372036854775807,'max')");
  db->exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
      "islendi) VALUES (1,100,5,1,-12.5,NOW(),CURDATE(),'',0),"
      "(2,9223372036854775807,6,1,0,NOW(),CURDATE(),'',0),"
      "(3,-9223372036854775808,5,1,1e9,NOW(),CURDATE(),'',0),"
      "(4,101,99,1,0.01,NOW(),CURDATE(),'',0)");

  AppState app;
  openAgentData(app);
  runDailyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(0u, errors.count()) << errors.captions();

  std::string raw = test::readFile(shop.remote("h1_gunluk.html"));
  EXPECT_EQ(8u, test::checkPage(raw).size());
  std::string page = test::pageText(raw);
  std::string one = "1.00";
  EXPECT_NE(std::string::npos, page.find("<h3>demo - 13:00:00</h3>"));
  for (const std::string& row :
       {productRow("1", std::string(59, 'A'), one, "ADET", "10.00"),
        productRow(
            "2",
            [] {
              std::string s;
              for (int i = 0; i < 59; ++i) s += "ş";
              return s;
            }(),
            one, "PORS", "20.00"),
        productRow("3", "&lt;b&gt;&amp;&quot;x&quot;&lt;/b&gt;", one, "&lt;&amp;&gt;", "30.00"),
        productRow("4", "Ay?ran?", one, "ADET", "40.00"),
        productRow("-9223372036854775808", "Min", one, "ADET", "1000000000.00"),
        productRow("9223372036854775807", "Max", one, "ADET", "0.01"),
        productRow("5", "Çay", one, "BARDAK", "5.00"),
        productRow("6", "Çay", one, "BARDAK", "6.00")})
    EXPECT_NE(std::string::npos, page.find(row)) << row;
  EXPECT_EQ(std::string::npos, page.find("Sifir"));
  EXPECT_EQ(std::string::npos, page.find("Eksi"));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Nakit", "1000000000.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Kredi", "-50.00")));
  EXPECT_NE(std::string::npos, page.find(summaryRow("Tahsilat Toplamİ", "999999950.00")));
  EXPECT_NE(std::string::npos,
            page.find("class=\"col0\">1000000111.01</th></td></tr></table></body></html>"));

  std::vector<ExpenseMove> r = test::checkExpenseFile(test::readFile(shop.remote("gider.dat")));
  ASSERT_EQ(5u, r.size());
  std::string cutGroup;
  for (int i = 0; i < 31; ++i) cutGroup += "ş";  // 62 bytes: a 32nd would not fit 63
  EXPECT_EQ(cutGroup, fieldText(r[0].groupName));
  EXPECT_EQ("<Elektrik & \"Su\">", fieldText(r[0].expenseName));
  EXPECT_EQ(std::string(255, 'n'), fieldText(r[0].note));
  EXPECT_EQ(-12.5f, r[0].amount);
  EXPECT_EQ(INT64_MAX, r[1].transid);
  EXPECT_EQ("Grup\xFF\xC3", fieldText(r[1].groupName));
  EXPECT_EQ(std::string(63, 'B'), fieldText(r[1].expenseName));
  EXPECT_EQ("max", fieldText(r[1].note));
  EXPECT_EQ(0.0f, r[1].amount);
  EXPECT_EQ(INT64_MIN, r[2].transid);
  EXPECT_EQ(1e9f, r[2].amount);
  EXPECT_EQ("", fieldText(r[3].groupName)) << "unknown expense code";
  EXPECT_EQ(0.01f, r[3].amount);
  EXPECT_EQ("1,1,1,1", db->scalar("SELECT GROUP_CONCAT(islendi ORDER BY Id) FROM expenses.moves"));
}

TEST_F(OddData, TenThousandProductsSharingAHundredNames) {
  db->exec(
      "INSERT INTO company.maininfo (compname,compfolder,raporlamahash) VALUES "
      "('Köşk','demo','h1')");
  db->exec(
      "INSERT INTO stocks.stckdef (stcode,stname,unit) SELECT seq, CONCAT('Ürün ', seq % 100), "
      "'ADET' FROM stocks.seq_1_to_10000");
  db->exec(
      "INSERT INTO oturum.orderitems (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,"
      "qua,prc,tutar,status,reason,cost,kdv,time) SELECT seq, seq, 3, 1, 1, 1, 1, seq, 1, 1, "
      "seq / 100, seq / 100, 0, 0, 0, 8, '2026-03-10 12:00:00' FROM oturum.seq_1_to_10000");
  AppState app;
  openAgentData(app);
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ(0u, errors.count()) << errors.captions();
  std::string page = test::readFile(shop.remote("h1_gunluk.html"));
  std::vector<std::vector<std::string>> rows = test::checkPage(page);
  ASSERT_EQ(10000u, rows.size());
  std::map<long long, int> seen;
  std::string lastName;
  for (const auto& row : rows) {
    long long code = std::stoll(row[0]);
    ++seen[code];
    char amount[32];
    std::snprintf(amount, sizeof amount, "%lld.%02lld", code / 100, code % 100);
    EXPECT_EQ("Ürün " + std::to_string(code % 100), test::pageText(row[1])) << code;
    EXPECT_EQ("1.00", row[2]);
    EXPECT_EQ("ADET", row[3]);
    ASSERT_EQ(amount, row[4]) << code;
  }
  EXPECT_EQ(10000u, seen.size()) << "every product once";
  EXPECT_NE(std::string::npos,
            page.find("class=\"col0\">500050.00</th></td></tr></table></body></html>"));
}

}  // namespace
}  // namespace kestrune
