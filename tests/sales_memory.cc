// Peak memory and time of the order-items read over a large month. Fills the
// order-item tables of a MariaDB that is already running (tools/mariadb-server)
// with ITEMS rows of March 2024, four in five live and one in five archived,
// over 500 products, then reads the month once. Not a test; run it under
// /usr/bin/time -v:
//
//   tools/mariadb-server start /tmp/bench-db 127.0.0.90
//   /usr/bin/time -v build/tests/sales_memory 127.0.0.90 1000000
//
// It empties the stock and order-item tables of that server.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "db/company.h"
#include "db/query.h"
#include "db/sales.h"
#include "db/text.h"

using namespace kestrune;

namespace {

// The process's peak resident memory so far ("VmHWM"), where the system shows it.
std::string peakMemory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmHWM:") == 0) return line.substr(6);
  return " unknown";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sales_memory ADDRESS [ITEMS]\n");
    return 2;
  }
  long items = argc > 2 ? std::atol(argv[2]) : 1000000;
  SalesData sales;
  std::string address = argv[1];
  copyText(sales.connection.serverAddress, address);
  buildUrl(sales.connection);
  copyText(sales.connection.password, kFirstPassword);

  std::string count = std::to_string(items);
  std::string time = "TIMESTAMP('2024-03-01 06:00:00') + INTERVAL (seq * 7 % 2678400) SECOND";
  std::string columns =
      " (Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,qua,prc,tutar,status,"
      "reason,cost,kdv,time) SELECT seq, seq DIV 4, 3, 1, seq DIV 4, seq % 4, 1, seq % 500 + 1, "
      "1, 1, 12.5, 12.5, 0, 0, 4.25, 8, " + time + " FROM seq_1_to_" + count;
  size_t done = runUpdates(
      sales.connection, "oturum", "SEED",
      {"TRUNCATE TABLE stocks.stckdef", "TRUNCATE TABLE oturum.orderitems",
       "TRUNCATE TABLE oturum.orderitarch",
       "INSERT INTO stocks.stckdef (stcode,type,gra,grb,grc,stname,unit,depart) "
       "SELECT seq, 1, 1, 1, 1, CONCAT('Ürün ', seq), 'ADET', 1 FROM seq_1_to_500",
       "INSERT INTO oturum.orderitems" + columns + " WHERE seq % 5 <> 0",
       "INSERT INTO oturum.orderitarch" + columns + " WHERE seq % 5 = 0"});
  if (done != 6) return 1;
  int products = readStockDefinitionsByCode(sales.connection, sales.stockByCode);
  std::printf("seeded %ld order items, %d products; peak memory before the read:%s\n", items,
              products, peakMemory().c_str());

  auto start = std::chrono::steady_clock::now();
  int result = readOrderItemSales(sales, "2024-03-01 06:00:00", "2024-04-01 05:59:59");
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  long long sold = 0;
  double amount = 0;
  for (const StockDefinition& s : sales.stockByCode) {
    sold += s.soldCount;
    amount += s.salesAmount;
  }
  std::printf("readOrderItemSales: result %d, %lld items, %.2f TL, %.2f s; peak memory after:%s\n",
              result, sold, amount, seconds, peakMemory().c_str());
  return result == 1 && sold == items ? 0 : 1;
}
