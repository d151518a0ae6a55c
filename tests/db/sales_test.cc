// The sales queries against a real MariaDB: receipts, order items and the
// money movements of a period, live tables and archives together.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "db/sales.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;

const char kBegin[] = "2024-03-01 06:00:00";
const char kEnd[] = "2024-04-01 05:59:59";

std::string sqlNumber(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string money(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

struct Receipt {
  long long transid = 1;
  int ordtyp = 3;
  // cashsum, credsum, ceksum, senetsum, carisum, ikramsum, isknt, puantaj
  double pay[8] = {};
  std::string when = "2024-03-10 12:00:00";
};

void insertReceipt(const std::string& table, const Receipt& r) {
  std::string values = std::to_string(r.transid) + ",7," + std::to_string(r.ordtyp);
  for (double p : r.pay) values += "," + sqlNumber(p);
  database().exec("INSERT INTO satislar." + table +
                  " (transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,"
                  "isknt,puantaj,toplam,tmstmp) VALUES (" +
                  values + ",999,'" + r.when + "')");
}

struct Item {
  int id = 1;
  long long stcode = 10;
  int adet = 1;
  double qua = 1, prc = 0, tutar = 0, cost = 0;
  int status = 0;
  std::string when = "2024-03-10 12:00:00";
};

void insertItem(const std::string& table, const Item& i) {
  database().exec("INSERT INTO oturum." + table +
                  " (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,qua,prc,tutar,"
                  "status,reason,cost,kdv,time) VALUES (" +
                  std::to_string(i.id) + ",5,3,1,1,1,1," + std::to_string(i.stcode) + "," +
                  std::to_string(i.adet) + "," + sqlNumber(i.qua) + "," + sqlNumber(i.prc) + "," +
                  sqlNumber(i.tutar) + "," + std::to_string(i.status) + ",0," + sqlNumber(i.cost) +
                  ",8,'" + i.when + "')");
}

void insertMove(const std::string& schema, double amount, const std::string& when) {
  database().exec("INSERT INTO " + schema + ".moves (amount,time) VALUES (" + sqlNumber(amount) +
                  ",'" + when + "')");
}

StockDefinition stock(long long code) {
  StockDefinition s;
  s.stcode = code;
  return s;
}

class Sales : public ::testing::Test {
 protected:
  void SetUp() override {
    database().resetData();
    test::writeSettings({{"ipno", test::testAddress()}});
    openConnection(sales.connection);
    sales.stockByCode = {stock(10), stock(20), stock(30)};
  }
  // Every field set to something that is not a result.
  void spoilSummary() {
    SalesSummary& s = sales.summary;
    for (double* f : fields(s)) *f = 77.0;
  }
  static_assert(sizeof(SalesSummary) == 16 * sizeof(double), "fields() names every field");
  static std::vector<double*> fields(SalesSummary& s) {
    return {&s.cashsum,         &s.credsum,         &s.ceksum,          &s.senetsum,
            &s.carisum,         &s.ikramsum,        &s.isknt,           &s.puantaj,
            &s.grossTotal,      &s.grossTotalCopy,  &s.orderType1Total, &s.orderType2Total,
            &s.orderType3Total, &s.orderType4Total, &s.orderType7Total, &s.orderType8Total};
  }
  void expectAllZero() {
    for (double* f : fields(sales.summary)) EXPECT_EQ(0.0, *f);
  }
  SalesData sales;
  CapturedErrors errors;
};

TEST_F(Sales, EmptyPeriodGivesZeroEverywhere) {
  insertReceipt("shopcharts", {1, 3, {10, 20}, "2024-02-10 12:00:00"});  // another month
  spoilSummary();
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  expectAllZero();

  spoilSummary();
  EXPECT_EQ(1, readDailySalesSummary(sales, kBegin, kEnd));
  expectAllZero();

  // SUM over no rows is NULL and reads as 0
  spoilSummary();
  EXPECT_EQ(1, readCashMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readBankMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readChequeMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(0.0, sales.summary.cashsum);
  EXPECT_EQ(0.0, sales.summary.credsum);
  EXPECT_EQ(0.0, sales.summary.ceksum);

  sales.stockByCode[0].salesAmount = 5;
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  EXPECT_EQ(0.0, sales.stockByCode[0].salesAmount);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Sales, PaymentsAndOrderTypes) {
  //                  cash  cred  cek  senet cari ikram isknt puantaj
  insertReceipt("shopcharts", {1, 1, {1, 2, 4, 8, 16, 32, 64, 128}});
  insertReceipt("shopcharts", {2, 2, {1000}});
  insertReceipt("shpchrtarch", {3, 3, {0, 2000}});
  insertReceipt("shopcharts", {4, 4, {0, 0, 4000}});
  insertReceipt("shopcharts", {5, 7, {0, 0, 0, 0, 8000}});
  insertReceipt("shpchrtarch", {6, 8, {0, 0, 0, 0, 0, 16000}});
  // counted in the totals but in no order-type field
  insertReceipt("shopcharts", {7, 5, {100000}});
  insertReceipt("shopcharts", {8, 6, {200000}});
  insertReceipt("shopcharts", {9, 0, {400000}});
  insertReceipt("shopcharts", {10, 9, {800000}});
  insertReceipt("shopcharts", {11, -1, {0, 0, 0, 0, 0, 0, 0, 1600000}});

  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  const SalesSummary& s = sales.summary;
  EXPECT_EQ(1 + 1000 + 100000 + 200000 + 400000 + 800000, s.cashsum);
  EXPECT_EQ(2 + 2000, s.credsum);
  EXPECT_EQ(4 + 4000, s.ceksum);
  EXPECT_EQ(8, s.senetsum);
  EXPECT_EQ(16 + 8000, s.carisum);
  EXPECT_EQ(32 + 16000, s.ikramsum);
  EXPECT_EQ(64, s.isknt);
  EXPECT_EQ(128 + 1600000, s.puantaj);
  EXPECT_EQ(255, s.orderType1Total);
  EXPECT_EQ(1000, s.orderType2Total);
  EXPECT_EQ(2000, s.orderType3Total);
  EXPECT_EQ(4000, s.orderType4Total);
  EXPECT_EQ(8000, s.orderType7Total);
  EXPECT_EQ(16000, s.orderType8Total);
  EXPECT_EQ(3131255, s.grossTotal);
  EXPECT_EQ(3131255, s.grossTotalCopy);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Sales, ReceiptsInLiveAndArchiveTables) {
  Receipt same{1, 3, {50}};
  insertReceipt("shopcharts", same);
  insertReceipt("shpchrtarch", same);  // archived and still live: once
  Receipt moved{2, 3, {7}};
  insertReceipt("shopcharts", moved);
  moved.pay[1] = 0.5;  // differs in one column: twice
  insertReceipt("shpchrtarch", moved);
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(50 + 7 + 7, sales.summary.cashsum);
  EXPECT_EQ(0.5, sales.summary.credsum);
  EXPECT_EQ(64.5, sales.summary.orderType3Total);
}

TEST_F(Sales, BothPeriodBoundsAreInclusive) {
  const char* inside[] = {"2024-03-01 06:00:00", "2024-04-01 05:59:59"};
  const char* outside[] = {"2024-03-01 05:59:59", "2024-04-01 06:00:00"};
  long long n = 0;
  for (const char* when : inside) {
    ++n;
    insertReceipt("shopcharts", {n, 3, {1}, when});
    insertItem("orderitems", {static_cast<int>(n), 10, 1, 1, 0, 1, 0, 0, when});
    insertMove("kasa", 1, when);
    insertMove("banks", 1, when);
    insertMove("cekler", 1, when);
  }
  for (const char* when : outside) {
    ++n;
    insertReceipt("shpchrtarch", {n, 3, {1000}, when});
    insertItem("orderitarch", {static_cast<int>(n), 10, 1, 1, 0, 1000, 0, 0, when});
    insertMove("kasa", 1000, when);
    insertMove("banks", 1000, when);
    insertMove("cekler", 1000, when);
  }
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(2, sales.summary.grossTotal);
  EXPECT_EQ(1, readCashMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readBankMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readChequeMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(2.0, sales.summary.cashsum);
  EXPECT_EQ(2.0, sales.summary.credsum);
  EXPECT_EQ(2.0, sales.summary.ceksum);
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  EXPECT_EQ(2, sales.stockByCode[0].soldCount);
  EXPECT_EQ(2, sales.stockByCode[0].salesAmount);
}

TEST_F(Sales, DailySummaryReadsItsPeriod) {
  insertReceipt("shopcharts", {1, 2, {30}, "2024-05-15 07:00:00"});
  insertReceipt("shopcharts", {2, 2, {40}, "2024-05-16 07:00:00"});
  EXPECT_EQ(1, readDailySalesSummary(sales, "2024-05-15 06:00:00", "2024-05-16 05:59:59"));
  EXPECT_EQ(30, sales.summary.orderType2Total);
}

TEST_F(Sales, OrderItemsAddIntoTheirProducts) {
  //                     id code adet qua   prc   tutar cost status
  insertItem("orderitems", {1, 10, 2, 2, 12.5, 25, 10, 0});
  insertItem("orderitarch", {2, 10, 1, 0.25, 80, 20, 6, 3});
  insertItem("orderitems", {3, 30, 3, 3, 5, 15, 1.5, 0});
  // not sold
  insertItem("orderitems", {4, 10, 5, 5, 9, 45, 1, 1007});  // cancelled
  insertItem("orderitems", {5, 10, 1, 0, 9, 9, 1, 0});      // no quantity
  insertItem("orderitems", {6, 10, 1, -1, 9, -9, 1, 0});    // returned
  insertItem("orderitems", {7, 15, 1, 1, 9, 9, 1, 0});      // unknown product
  // identical in both tables: once; differing in one column: twice
  insertItem("orderitems", {8, 20, 1, 1, 4, 4, 2, 0});
  insertItem("orderitarch", {8, 20, 1, 1, 4, 4, 2, 0});
  insertItem("orderitems", {9, 20, 1, 1, 3, 3, 1, 0});
  insertItem("orderitarch", {9, 20, 1, 1, 3, 3, 1, 5});

  // what a previous period left is reset first
  for (StockDefinition& s : sales.stockByCode) {
    s.soldCount = 99;
    s.salesAmount = 99;
    s.spareCounts1[2] = 99;
    s.spareAmount = 99;
    s.depart = 4;
  }
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  const StockDefinition& a = sales.stockByCode[0];
  EXPECT_EQ(3, a.soldCount);
  EXPECT_EQ(2.25, a.soldQuantity);
  EXPECT_EQ(92.5, a.unitPriceSum);
  EXPECT_EQ(45, a.salesAmount);
  EXPECT_EQ(16, a.costAmount);
  EXPECT_EQ(0, a.spareCounts1[2]);
  EXPECT_EQ(0, a.spareAmount);
  EXPECT_EQ(0, a.depart);
  const StockDefinition& b = sales.stockByCode[1];
  EXPECT_EQ(3, b.soldCount);
  EXPECT_EQ(10, b.salesAmount);
  EXPECT_EQ(4, b.costAmount);
  const StockDefinition& c = sales.stockByCode[2];
  EXPECT_EQ(3, c.soldCount);
  EXPECT_EQ(15, c.salesAmount);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Sales, MonthlyMovementSumsReplaceThePayments) {
  insertReceipt("shopcharts", {1, 3, {100, 200, 300, 5}});
  insertMove("kasa", 250.25, "2024-03-02 10:00:00");
  insertMove("kasa", 0.5, "2024-03-03 10:00:00");
  insertMove("banks", 1000, "2024-03-02 10:00:00");
  insertMove("cekler", -20, "2024-03-02 10:00:00");
  // the monthly run's order of calls
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(1, readCashMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readBankMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readChequeMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  const SalesSummary& s = sales.summary;
  EXPECT_EQ(250.75, s.cashsum);
  EXPECT_EQ(1000, s.credsum);
  EXPECT_EQ(-20, s.ceksum);
  EXPECT_EQ(5, s.senetsum);
  EXPECT_EQ(605, s.grossTotal);
  EXPECT_EQ(605, s.orderType3Total);
}

TEST_F(Sales, ServerErrorsAreReportedUnderTheirCaptions) {
  insertReceipt("shopcharts", {1, 3, {10}});
  insertItem("orderitems", {1, 10, 1, 1, 5, 5, 1, 0});
  insertMove("kasa", 3, "2024-03-02 10:00:00");
  for (const char* t :
       {"satislar.shpchrtarch", "oturum.orderitarch", "kasa.moves", "banks.moves", "cekler.moves"})
    database().exec(std::string("RENAME TABLE ") + t + " TO " + t + "_away");

  spoilSummary();
  sales.stockByCode[0].salesAmount = 99;
  EXPECT_EQ(-2, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(-2, readDailySalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(-2, readOrderItemSales(sales, kBegin, kEnd));
  EXPECT_EQ(-2, readCashMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(-2, readBankMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(-2, readChequeMovesTotal(sales, kBegin, kEnd));
  EXPECT_EQ(
      "READ_SATIS_OZET,READ_GUNLUK_SATIS_OZET,READ_URUN_SATISLARI_UNION,READ_KASA_MOVES_TOPLAM,"
      "READ_BANK_MOVES_TOPLAM,READ_CEK_MOVES_TOPLAM",
      errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("shpchrtarch"));
  // nothing was read before the error: the totals stay reset
  expectAllZero();
  EXPECT_EQ(0, sales.stockByCode[0].salesAmount);

  for (const char* t :
       {"satislar.shpchrtarch", "oturum.orderitarch", "kasa.moves", "banks.moves", "cekler.moves"})
    database().exec(std::string("RENAME TABLE ") + t + "_away TO " + t);
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(10, sales.summary.cashsum);
  EXPECT_EQ(6u, errors.count());
}

// Forwards one connection to the test server and cuts it once `limit` bytes
// have come back from the server.
class CuttingProxy {
 public:
  CuttingProxy(const std::string& address, size_t limit) : limit_(limit) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = socketAddress(address);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(listener_, 1) != 0)
      throw std::runtime_error("proxy cannot listen on " + address);
    thread_ = std::thread([this] { serve(); });
  }
  ~CuttingProxy() {
    thread_.join();
    ::close(listener_);
  }

 private:
  static sockaddr_in socketAddress(const std::string& address) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(3306);
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
  }
  void serve() {
    pollfd wait{listener_, POLLIN, 0};
    if (::poll(&wait, 1, 30000) != 1) return;
    int client = ::accept(listener_, nullptr, nullptr);
    int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = socketAddress(test::testAddress());
    if (client >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
      size_t passed = 0;
      char buf[16384];
      while (passed < limit_) {
        pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(fds, 2, 30000) <= 0) break;
        if (fds[0].revents) {
          ssize_t n = ::read(client, buf, sizeof buf);
          if (n <= 0 || ::write(server, buf, n) != n) break;
        }
        if (fds[1].revents) {
          ssize_t n = ::read(server, buf, sizeof buf);
          if (n <= 0) break;
          size_t pass = std::min(static_cast<size_t>(n), limit_ - passed);
          if (::write(client, buf, pass) != static_cast<ssize_t>(pass)) break;
          passed += pass;
        }
      }
    }
    ::close(server);
    if (client >= 0) ::close(client);
  }
  size_t limit_;
  int listener_ = -1;
  std::thread thread_;
};

// The connection breaks while the rows stream in: the error is reported
// once and what was read until then stays in the totals.
TEST_F(Sales, BrokenConnectionWhileRowsArriveKeepsWhatWasRead) {
  database().exec(
      "INSERT INTO satislar.shopcharts (transid,adisno,ordtyp,cashsum,credsum,tmstmp) "
      "SELECT seq, 1, 1, 2, 1, '2024-03-10 12:00:00' FROM satislar.seq_1_to_300000");
  std::string proxy = test::otherAddress(5);
  sales.connection.urlText = "tcp://" + proxy + ":3306";
  {
    CuttingProxy cut(proxy, 1 << 20);  // some 40,000 rows of the 300,000
    EXPECT_EQ(-2, readSalesSummary(sales, kBegin, kEnd));
  }
  ASSERT_EQ(1u, errors.count());
  EXPECT_EQ("READ_SATIS_OZET", errors.all()[0].first);
  const SalesSummary& s = sales.summary;
  EXPECT_GT(s.grossTotal, 0.0);
  EXPECT_LT(s.grossTotal, 900000.0);
  EXPECT_EQ(s.cashsum, 2 * s.credsum);
  EXPECT_EQ(s.grossTotal, 3 * s.credsum);
  EXPECT_EQ(s.grossTotal, s.orderType1Total);
}

// The reads raise the server's temporary-table limits for their own
// connections only; the server's own settings stay as they were.
TEST_F(Sales, RaisedTemporaryTableLimitsStayInTheAgentsSession) {
  const char limits[] = "SELECT CONCAT(@@GLOBAL.tmp_table_size, ' ', @@GLOBAL.max_heap_table_size)";
  std::string before = database().scalar(limits);
  insertItem("orderitems", Item{});
  insertReceipt("shopcharts", Receipt{});
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  EXPECT_EQ(before, database().scalar(limits));
  EXPECT_EQ(0u, errors.count());
}

// 200,000 receipts and order items of 123.45 TL in one month: a float total
// would be off by thousands of lira; the totals must hold every kuruş.
TEST_F(Sales, LargeMonthAddsUpToTheKurus) {
  database().exec(
      "INSERT INTO satislar.shopcharts (transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,"
      "carisum,ikramsum,isknt,puantaj,toplam,tmstmp) "
      "SELECT seq, 1, 3, 123.45, 0, 0, 0, 0, 0, 0, 0, 123.45, "
      "TIMESTAMP('2024-03-01 06:00:00') + INTERVAL seq * 13 SECOND FROM satislar.seq_1_to_200000");
  database().exec(
      "INSERT INTO oturum.orderitems (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,"
      "qua,prc,tutar,status,reason,cost,kdv,time) "
      "SELECT seq, seq, 3, 1, seq, 1, 1, 20, 1, 1, 123.45, 123.45, 0, 0, 61.73, 8, "
      "TIMESTAMP('2024-03-01 06:00:00') + INTERVAL seq * 13 SECOND FROM oturum.seq_1_to_200000");
  EXPECT_EQ(1, readSalesSummary(sales, kBegin, kEnd));
  const SalesSummary& s = sales.summary;
  EXPECT_EQ("24690000.00", money(s.cashsum));
  EXPECT_EQ("24690000.00", money(s.grossTotal));
  EXPECT_EQ("24690000.00", money(s.orderType3Total));
  EXPECT_NEAR(24690000.0, s.grossTotal, 0.001);

  EXPECT_EQ(1, readOrderItemSales(sales, kBegin, kEnd));
  const StockDefinition& st = sales.stockByCode[1];
  EXPECT_EQ(200000, st.soldCount);
  EXPECT_EQ(200000.0, st.soldQuantity);
  EXPECT_EQ("24690000.00", money(st.salesAmount));
  EXPECT_EQ("24690000.00", money(st.unitPriceSum));
  EXPECT_EQ("12346000.00", money(st.costAmount));
  EXPECT_EQ(0u, errors.count());
}

}  // namespace
}  // namespace kestrune
