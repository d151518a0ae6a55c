#include "db/receipts.h"

#include <cppconn/resultset.h>

#include <string>

namespace kestrune {

namespace {

// The receipts of the period, each once, with the columns the sums need.
std::string receiptRows(const char* begin, const char* end) {
  std::string clause = std::string(" WHERE tmstmp >= TIMESTAMP('") + begin +
                       "') AND tmstmp <= TIMESTAMP('" + end + "')";
  const char columns[] =
      "SELECT transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,isknt,"
      "puantaj,toplam,tmstmp FROM ";
  return std::string("(") + columns + "satislar.shopcharts" + clause + " UNION " + columns +
         "satislar.shpchrtarch" + clause + ") r";
}

// NULL columns count as 0, as the report reads them.
const char kSums[] =
    "COUNT(*),"
    "SUM(IFNULL(cashsum,0)+IFNULL(credsum,0)+IFNULL(ceksum,0)+IFNULL(senetsum,0)+"
    "IFNULL(carisum,0)+IFNULL(ikramsum,0)+IFNULL(isknt,0)+IFNULL(puantaj,0)),"
    "SUM(IFNULL(isknt,0)),SUM(IFNULL(ikramsum,0))";

void readSums(sql::ResultSet& row, unsigned first, ReceiptTotals& t) {
  t.receipts = row.getInt64(first);
  t.gross = columnNumber(row, first + 1);
  t.discount = columnNumber(row, first + 2);
  t.complimentary = columnNumber(row, first + 3);
}

}  // namespace

bool readReceiptTotals(QuerySession& reads, const char* begin, const char* end,
                       ReceiptTotals& totals) {
  totals = ReceiptTotals();
  QueryText query{"satislar", "READ_OZET_FIS_TOPLAM",
                  std::string("SELECT ") + kSums + " FROM " + receiptRows(begin, end) + ";"};
  return runQuery(reads, query, [&totals](sql::ResultSet& row) { readSums(row, 1, totals); });
}

bool readReceiptsByHour(QuerySession& reads, const char* begin, const char* end,
                        ReceiptTotals (&byHour)[24]) {
  for (ReceiptTotals& t : byHour) t = ReceiptTotals();
  QueryText query{"satislar", "READ_OZET_SAATLIK",
                  std::string("SELECT HOUR(tmstmp),") + kSums + " FROM " + receiptRows(begin, end) +
                      " GROUP BY HOUR(tmstmp);"};
  return runQuery(reads, query, [&byHour](sql::ResultSet& row) {
    int hour = row.getInt(1);
    if (hour >= 0 && hour < 24) readSums(row, 2, byHour[hour]);
  });
}

bool readReceiptsByDay(QuerySession& reads, const char* begin, const char* end,
                       std::vector<ReceiptTotals>& byDay) {
  byDay.clear();
  // A receipt before 06:00 belongs to the business day before.
  std::string day =
      "DATEDIFF(DATE(tmstmp - INTERVAL 6 HOUR), DATE(TIMESTAMP('" + std::string(begin) + "')))";
  QueryText query{
      "satislar", "READ_OZET_GUNLUK",
      "SELECT " + day + "," + kSums + " FROM " + receiptRows(begin, end) + " GROUP BY 1;"};
  return runQuery(reads, query, [&byDay](sql::ResultSet& row) {
    int64_t index = row.getInt64(1);
    if (index < 0 || index > 400) return;
    if (byDay.size() <= static_cast<size_t>(index)) byDay.resize(static_cast<size_t>(index) + 1);
    readSums(row, 2, byDay[static_cast<size_t>(index)]);
  });
}

}  // namespace kestrune
