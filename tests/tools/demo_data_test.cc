// The demo restaurant's data (tools/pos-demo-data.py) loaded into a real
// MariaDB: the rows the agent reads are there and add up.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "db/company.h"
#include "db/sales.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;

struct ShellRun {
  int status = -1;
  std::string output;
};

// Runs `command` with bash (pipefail); its standard output and error together.
ShellRun shell(const std::string& command) {
  std::string quoted = "'";
  for (char c : "{ " + command + "; } 2>&1")
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  ShellRun r;
  std::FILE* p = ::popen(("/bin/bash -o pipefail -c " + quoted).c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  r.status = ::pclose(p);
  return r;
}

std::string generator() {
  return "/usr/bin/python3 '" + test::sourceDir() + "/tools/pos-demo-data.py'";
}

// Empties the tables and loads the generator's output for these options.
void load(const std::string& options) {
  database().resetData();
  ShellRun r = shell(generator() + " " + options + " | mariadb --no-defaults -S '" +
                     database().dir + "/sock' -uroot");
  ASSERT_EQ(0, r.status) << r.output;
}

long count(const std::string& statement) { return std::stol(database().scalar(statement)); }

const char* kReceipts =
    "(SELECT * FROM satislar.shopcharts UNION SELECT * FROM satislar.shpchrtarch)";
const char* kItems = "(SELECT * FROM oturum.orderitems UNION SELECT * FROM oturum.orderitarch)";

std::set<std::string> column(const std::string& statement) {
  std::set<std::string> out;
  for (const auto& row : database().query(statement)) out.insert(row.at(0));
  return out;
}

TEST(DemoData, EveryTableFilledWithTheCountsAsked) {
  std::string images = test::freshFolder("images");
  load(
      "--now '2026-05-14 21:10:00' --days 10 --receipts 400 --items 2500 --products 70 "
      "--expenses 80 --notes 100 --duplicates 3 --images '" +
      images + "'");
  for (const char* table :
       {"company.maininfo", "stocks.stckdef", "satislar.shopcharts", "satislar.shpchrtarch",
        "oturum.orderitems", "oturum.orderitarch", "banks.moves", "cekler.moves", "kasa.moves",
        "expenses.grpb", "expenses.expenses", "expenses.moves", "expenses.notes"})
    EXPECT_LT(0, count(std::string("SELECT COUNT(*) FROM ") + table)) << table;

  EXPECT_EQ(400, count(std::string("SELECT COUNT(*) FROM ") + kReceipts + " r"));
  EXPECT_EQ(2500, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i"));
  EXPECT_EQ(70, count("SELECT COUNT(*) FROM stocks.stckdef"));
  EXPECT_EQ(70, count("SELECT COUNT(DISTINCT stcode) FROM stocks.stckdef"));
  EXPECT_EQ(80, count("SELECT COUNT(*) FROM expenses.moves"));
  EXPECT_EQ(100, count("SELECT COUNT(*) FROM expenses.notes"));
  // rows copied to the archive but not yet deleted stand twice, identically
  EXPECT_EQ(3, count("SELECT COUNT(*) FROM satislar.shopcharts a JOIN satislar.shpchrtarch b "
                     "USING (transid, adisno, ordtyp, cashsum, credsum, ceksum, senetsum, "
                     "carisum, ikramsum, isknt, puantaj, toplam, tmstmp)"));
  EXPECT_LE(3, count("SELECT COUNT(*) FROM oturum.orderitems a JOIN oturum.orderitarch b "
                     "USING (Id, transid, stcode, qua, tutar, time)"));
  // the archive holds the older days only
  EXPECT_LE(
      std::string("2026-05-07 06:00:00"),
      database().scalar("SELECT MIN(tmstmp) FROM satislar.shopcharts s WHERE NOT EXISTS "
                        "(SELECT 1 FROM satislar.shpchrtarch a WHERE a.transid = s.transid)"));
  EXPECT_GT(std::string("2026-05-07 06:00:00"),
            database().scalar("SELECT MAX(tmstmp) FROM satislar.shpchrtarch"));

  // one company; texts with Turkish letters and quotes arrive intact
  EXPECT_EQ(1, count("SELECT COUNT(*) FROM company.maininfo"));
  EXPECT_EQ("Demo Lokanta Çınaraltı", database().scalar("SELECT compname FROM company.maininfo"));
  EXPECT_EQ("demo", database().scalar("SELECT compfolder FROM company.maininfo"));
  EXPECT_EQ(1, count("SELECT COUNT(*) FROM stocks.stckdef WHERE stname = 'Baklava (4\\'lü)'"));
  EXPECT_EQ(1, count("SELECT COUNT(*) FROM stocks.stckdef WHERE stname = 'Kebap & Ayran Menü'"));
  // nothing the agent would have to cut: names within 59 characters, units within 7 bytes
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM stocks.stckdef WHERE CHAR_LENGTH(stname) > 59 "
                     "OR LENGTH(unit) > 7"));
}

TEST(DemoData, ReceiptsAddUpToTheirItemsAndPayments) {
  load("--now '2026-05-14 21:10:00' --days 12 --receipts 600 --items 3000");
  // payment columns = toplam = the items that count (not cancelled, quantity above 0)
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kReceipts +
                     " r WHERE ABS(cashsum + credsum + ceksum + senetsum + carisum + ikramsum + "
                     "isknt + puantaj - toplam) > 0.001"));
  EXPECT_EQ(
      0,
      count(
          std::string("SELECT COUNT(*) FROM ") + kReceipts +
          " r LEFT JOIN (SELECT "
          "transid, SUM(tutar) s FROM " +
          kItems +
          " i WHERE status <> 1007 AND qua > 0 "
          "GROUP BY transid) t USING (transid) WHERE t.s IS NULL OR ABS(t.s - r.toplam) > 0.001"));
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kReceipts + " r WHERE toplam <= 0"));
  // every item belongs to a receipt of its order type, before it and in its business day
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i LEFT JOIN " + kReceipts +
                     " r USING (transid) WHERE r.transid IS NULL OR r.ordtyp <> i.ordtype OR "
                     "i.time > r.tmstmp OR DATE(i.time - INTERVAL 6 HOUR) <> "
                     "DATE(r.tmstmp - INTERVAL 6 HOUR)"));
  // items of products on the menu; ids unique over both tables
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kItems +
                     " i WHERE stcode NOT IN (SELECT stcode FROM stocks.stckdef)"));
  EXPECT_EQ(3000, count(std::string("SELECT COUNT(DISTINCT Id) FROM ") + kItems + " i"));
  EXPECT_EQ(600, count(std::string("SELECT COUNT(DISTINCT transid) FROM ") + kReceipts + " r"));
  // what the report must leave out is there
  EXPECT_LT(0, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i WHERE status = 1007"));
  EXPECT_LT(0, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i WHERE qua = 0"));
  EXPECT_LT(0, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i WHERE qua <> FLOOR(qua)"));
  // 64-bit product codes (bottled drinks carry their barcode)
  EXPECT_LT(0,
            count(std::string("SELECT COUNT(*) FROM ") + kItems + " i WHERE stcode > 2147483647"));
  // money moves with the payments: card payments reach the bank, cash the cash box
  EXPECT_LT(0, count("SELECT COUNT(*) FROM banks.moves WHERE amount < 0"));
  EXPECT_EQ(
      database().scalar(std::string("SELECT ROUND(SUM(cashsum), 2) FROM ") + kReceipts + " r"),
      database().scalar("SELECT ROUND(SUM(amount), 2) FROM kasa.moves WHERE amount > 0"));
}

TEST(DemoData, TheAgentsQueriesFindProductSalesEqualToTheReceipts) {
  // a month that holds archived days and the rows standing in both tables
  load("--now '2026-05-14 21:10:00' --days 14 --receipts 900 --items 4000");
  test::writeSettings({{"ipno", test::testAddress()}});
  CapturedErrors errors;
  SalesData sales;
  openConnection(sales.connection);
  ASSERT_EQ(57, readStockDefinitionsByCode(sales.connection, sales.stockByCode));
  const char* begin = "2026-05-01 06:00:00";
  const char* end = "2026-06-01 05:59:59";
  ASSERT_EQ(1, readSalesSummary(sales, begin, end));
  ASSERT_EQ(1, readOrderItemSales(sales, begin, end));
  EXPECT_EQ(0u, errors.count()) << errors.captions();

  const SalesSummary& s = sales.summary;
  double products = 0;
  for (const StockDefinition& d : sales.stockByCode) products += d.salesAmount;
  EXPECT_NEAR(s.grossTotal, products, 0.005);
  EXPECT_NEAR(std::stod(database().scalar(std::string("SELECT SUM(toplam) FROM ") + kReceipts +
                                          " r WHERE tmstmp >= '2026-05-01 06:00:00'")),
              s.grossTotal, 0.005);
  EXPECT_NEAR(s.grossTotal,
              s.orderType1Total + s.orderType2Total + s.orderType3Total + s.orderType4Total +
                  s.orderType7Total + s.orderType8Total,
              0.005);
  for (double total : {s.cashsum, s.credsum, s.ceksum, s.carisum, s.ikramsum, s.isknt, s.puantaj,
                       s.orderType1Total, s.orderType2Total, s.orderType3Total, s.orderType4Total,
                       s.orderType7Total, s.orderType8Total})
    EXPECT_LT(0.0, total);
}

TEST(DemoData, BusinessDayAfterMidnightHasEveryOrderTypeAndPayment) {
  // 02:30 on the first of a month: the business day began yesterday at 06:00
  load("--now '2026-03-01 02:30:00' --days 5");
  std::string day = " WHERE tmstmp >= '2026-02-28 06:00:00' AND tmstmp <= '2026-03-01 05:59:59'";
  EXPECT_EQ((std::set<std::string>{"1", "2", "3", "4", "7", "8"}),
            column(std::string("SELECT DISTINCT ordtyp FROM ") + kReceipts + " r" + day));
  auto sums = database().query(
      std::string("SELECT SUM(cashsum), SUM(credsum), SUM(ceksum), SUM(senetsum), SUM(carisum), "
                  "SUM(ikramsum), SUM(isknt), SUM(puantaj) FROM ") +
      kReceipts + " r" + day);
  ASSERT_EQ(1u, sums.size());
  for (const std::string& s : sums[0]) EXPECT_LT(0.0, std::stod(s));
  EXPECT_LT(0, count(std::string("SELECT COUNT(*) FROM ") + kReceipts + " r" + day +
                     " AND tmstmp >= '2026-03-01 00:00:00'"));
  // nothing after "now", nothing before the first of the five days
  EXPECT_GE(std::string("2026-03-01 02:30:00"),
            database().scalar(std::string("SELECT MAX(tmstmp) FROM ") + kReceipts + " r"));
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kItems +
                     " i WHERE time > "
                     "'2026-03-01 02:30:00' OR time < '2026-02-24 06:00:00'"));
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM kasa.moves WHERE time > '2026-03-01 02:30:00'"));
}

TEST(DemoData, EarlyMorningStillHasTodaysSales) {
  load("--now '2026-03-10 06:20:00' --days 3");
  EXPECT_LE(3, count(std::string("SELECT COUNT(*) FROM ") + kReceipts +
                     " r WHERE tmstmp >= '2026-03-10 06:00:00'"));
  EXPECT_GE(std::string("2026-03-10 06:20:00"),
            database().scalar(std::string("SELECT MAX(tmstmp) FROM ") + kReceipts + " r"));
}

TEST(DemoData, MonthOptionFillsTheWholeMonthlyPeriod) {
  load("--month --now '2026-02-10 12:00:00' --receipts 560 --items 1700 --duplicates 0");
  std::string outside = " WHERE tmstmp < '2026-02-01 06:00:00' OR tmstmp > '2026-03-01 05:59:59'";
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kReceipts + " r" + outside));
  EXPECT_EQ(0, count(std::string("SELECT COUNT(*) FROM ") + kItems +
                     " i WHERE time < '2026-02-01 06:00:00' OR time > '2026-03-01 05:59:59'"));
  EXPECT_EQ(28, count(std::string("SELECT COUNT(DISTINCT DATE(tmstmp - INTERVAL 6 HOUR)) FROM ") +
                      kReceipts + " r"));
  EXPECT_EQ(560, count(std::string("SELECT COUNT(*) FROM ") + kReceipts + " r"));
  EXPECT_EQ(1700, count(std::string("SELECT COUNT(*) FROM ") + kItems + " i"));
}

TEST(DemoData, ExpensesOfThisYearWithNotesAndImages) {
  // the expense export reads the server's current year, so this data set is made for "now"
  std::string images = test::freshFolder("expense-images");
  load("--expenses 120 --notes 150 --images '" + images + "'");
  const char* thisYear = " FROM expenses.moves WHERE YEAR(donem) = YEAR(CURRENT_DATE())";
  long year = count(std::string("SELECT COUNT(*)") + thisYear);
  EXPECT_LT(60, year);
  EXPECT_GT(120, year);  // a few of last year, which no export may take
  long processed = count(std::string("SELECT COUNT(*)") + thisYear + " AND islendi = 1");
  EXPECT_LT(0, processed);
  EXPECT_LT(processed, year - processed);
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM expenses.moves WHERE time > NOW()"));
  // every movement has its definition, every definition its group
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM expenses.moves WHERE giderkodu NOT IN "
                     "(SELECT code FROM expenses.expenses)"));
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM expenses.expenses WHERE bcode NOT IN "
                     "(SELECT bcode FROM expenses.grpb)"));
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM expenses.notes WHERE trid NOT IN "
                     "(SELECT transid FROM expenses.moves)"));
  EXPECT_EQ(30, count("SELECT COUNT(*) FROM (SELECT trid FROM expenses.notes GROUP BY trid "
                      "HAVING COUNT(*) > 1) t"));
  EXPECT_LT(0, count("SELECT COUNT(*) FROM expenses.notes WHERE LENGTH(note) > 255"));
  // image names fit the export record; each named image is in the folder, a PNG
  EXPECT_EQ(0, count("SELECT COUNT(*) FROM expenses.moves WHERE LENGTH(imgfilename) >= 64"));
  auto names = column("SELECT imgfilename FROM expenses.moves WHERE imgfilename <> ''");
  EXPECT_LT(10u, names.size());
  for (const std::string& name : names) {
    std::string bytes = test::readFile(images + "/" + name);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), bytes.substr(0, 8)) << name;
  }
  EXPECT_LT(0, count(std::string("SELECT COUNT(*)") + thisYear +
                     " AND islendi = 0 AND imgfilename <> ''"));
}

TEST(DemoData, SameSeedGivesTheSameBytes) {
  std::string options = " --now '2026-07-01 13:00:00' --days 4 --expenses 20 --notes 10";
  ShellRun a = shell(generator() + options + " | md5sum");
  ShellRun b = shell(generator() + options + " | md5sum");
  ShellRun c = shell(generator() + options + " --seed 2 | md5sum");
  ASSERT_EQ(0, a.status) << a.output;
  EXPECT_EQ(a.output, b.output);
  EXPECT_NE(a.output, c.output);
}

TEST(DemoData, RefusesOptionsThatCannotBeMet) {
  ShellRun r = shell(generator() + " --receipts 100 --items 50 > /dev/null");
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("--items")) << r.output;
  r = shell(generator() + " --now yesterday > /dev/null");
  EXPECT_NE(0, r.status);
  r = shell(generator() + " --notes 5 --expenses 0 > /dev/null");
  EXPECT_NE(0, r.status);
}

}  // namespace
}  // namespace kestrune
