#include "db/sales.h"

#include <cppconn/resultset.h>

#include "db/query.h"

namespace kestrune {

namespace {

constexpr int kCancelledItem = 1007;  // order item status: cancelled

// " ( col >= TIMESTAMP('begin') AND col <= TIMESTAMP('end') )", both bounds inclusive.
std::string periodClause(const char* column, const char* begin, const char* end) {
  return std::string(" ( ") + column + " >= TIMESTAMP('" + begin + "') AND " + column +
         " <= TIMESTAMP('" + end + "') )";
}

// Both tables of a pair, UNION (not UNION ALL): a row that stands the same in
// the live table and its archive counts once.
std::string unionStatement(const char* columns, const char* firstTable, const char* secondTable,
                           const std::string& clause) {
  return std::string("SELECT ") + columns + " FROM " + firstTable + "  WHERE " + clause +
         " UNION " + " SELECT " + columns + " FROM " + secondTable + "  WHERE " + clause + ";";
}

// UNION sorts out duplicate rows in a temporary table, which the server
// moves to disk once it outgrows tmp_table_size / max_heap_table_size (16 MB
// by default): a month of a million order items (about 100 MB in memory)
// then takes four to five times as long. The limits are raised for the
// query's own connection only, never for the server; the server takes only
// the memory a period needs. The rows and their order stay the same either
// way (tools/bench compares them).
const char kUnionSession[] =
    "SET SESSION tmp_table_size = 268435456, max_heap_table_size = 268435456";

// The connector reads NULL as 0; asking isNull first would only cost time.
int32_t integer(sql::ResultSet& row, unsigned column) { return row.getInt(column); }

int64_t integer64(sql::ResultSet& row, unsigned column) { return row.getInt64(column); }

const char kOrderItemColumns[] =
    "Id,transid,ordtype,adsno,orderid,itemid,itemidx,stcode,adet,qua,prc,tutar,status,reason,cost,"
    "kdv";
const char kReceiptColumns[] =
    "transid,adisno,ordtyp,cashsum,credsum,ceksum,senetsum,carisum,ikramsum,isknt,puantaj,toplam";

int readSummary(SalesData& sales, const char* caption, const char* begin, const char* end) {
  SalesSummary& s = sales.summary;
  s = SalesSummary();
  std::string clause = periodClause("tmstmp", begin, end);
  QueryText query{"satislar", caption,
                  unionStatement(kReceiptColumns, "shopcharts", "shpchrtarch", clause),
                  kUnionSession};
  bool ok = runQuery(sales.connection, query, [&s](sql::ResultSet& row) {
    // columns 1 transid, 2 adisno and 12 toplam are not needed
    int32_t ordtyp = integer(row, 3);
    double cashsum = columnNumber(row, 4);
    double credsum = columnNumber(row, 5);
    double ceksum = columnNumber(row, 6);
    double senetsum = columnNumber(row, 7);
    double carisum = columnNumber(row, 8);
    double ikramsum = columnNumber(row, 9);
    double isknt = columnNumber(row, 10);
    double puantaj = columnNumber(row, 11);
    double rowTotal = credsum + cashsum + ceksum + carisum + senetsum + ikramsum + isknt + puantaj;

    s.cashsum += cashsum;
    s.credsum += credsum;
    s.ceksum += ceksum;
    s.senetsum += senetsum;
    s.carisum += carisum;
    s.ikramsum += ikramsum;
    s.isknt += isknt;
    s.puantaj += puantaj;
    s.grossTotal += rowTotal;
    s.grossTotalCopy += rowTotal;
    switch (ordtyp) {
      case 1: s.orderType1Total += rowTotal; break;
      case 2: s.orderType2Total += rowTotal; break;
      case 3: s.orderType3Total += rowTotal; break;
      case 4: s.orderType4Total += rowTotal; break;
      case 7: s.orderType7Total += rowTotal; break;
      case 8: s.orderType8Total += rowTotal; break;
      default: break;  // 5, 6 and the rest count only in the totals
    }
  });
  return ok ? 1 : -2;
}

int readMovesTotal(SalesData& sales, double SalesSummary::*field, const char* schema,
                   const char* caption, const char* head, const char* begin, const char* end) {
  double& target = sales.summary.*field;
  target = 0;
  QueryText query{schema, caption, head + periodClause("time", begin, end) + ";"};
  bool first = true;
  bool ok = runQuery(sales.connection, query, [&](sql::ResultSet& row) {
    if (!first) return;
    first = false;
    target = columnNumber(row, 1);  // SUM over no rows is NULL: 0
  });
  return ok ? 1 : -2;
}

}  // namespace

int readOrderItemSales(SalesData& sales, const char* begin, const char* end) {
  for (StockDefinition& stock : sales.stockByCode) resetSales(stock);
  std::string clause = periodClause("time", begin, end);
  QueryText query{
      "oturum", "READ_URUN_SATISLARI_UNION",
      unionStatement(kOrderItemColumns, "oturum.orderitarch", "oturum.orderitems", clause),
      kUnionSession};
  std::vector<StockDefinition>& stocks = sales.stockByCode;
  bool ok = runQuery(sales.connection, query, [&stocks](sql::ResultSet& row) {
    // Only the columns that count are read: 8 stcode, 9 adet, 10 qua,
    // 11 prc, 12 tutar, 13 status, 15 cost.
    int32_t status = integer(row, 13);
    double qua = columnNumber(row, 10);
    if (status == kCancelledItem || !(qua > 0)) return;
    int index = findStockByCode(stocks, integer64(row, 8));
    if (index < 0) return;
    StockDefinition& stock = stocks[index];
    stock.soldCount += integer(row, 9);
    stock.soldQuantity += qua;
    stock.unitPriceSum += columnNumber(row, 11);
    stock.salesAmount += columnNumber(row, 12);
    stock.costAmount += columnNumber(row, 15);
  });
  return ok ? 1 : -2;
}

int readDailySalesSummary(SalesData& sales, const char* begin, const char* end) {
  return readSummary(sales, "READ_GUNLUK_SATIS_OZET", begin, end);
}

int readSalesSummary(SalesData& sales, const char* begin, const char* end) {
  return readSummary(sales, "READ_SATIS_OZET", begin, end);
}

int readBankMovesTotal(SalesData& sales, const char* begin, const char* end) {
  return readMovesTotal(sales, &SalesSummary::credsum, "banks", "READ_BANK_MOVES_TOPLAM",
                        "SELECT SUM(amount) FROM banks.moves WHERE ", begin, end);
}

int readChequeMovesTotal(SalesData& sales, const char* begin, const char* end) {
  return readMovesTotal(sales, &SalesSummary::ceksum, "cekler", "READ_CEK_MOVES_TOPLAM",
                        "SELECT SUM(amount) FROM cekler.moves WHERE ", begin, end);
}

int readCashMovesTotal(SalesData& sales, const char* begin, const char* end) {
  return readMovesTotal(sales, &SalesSummary::cashsum, "kasa", "READ_KASA_MOVES_TOPLAM",
                        "SELECT SUM(amount) FROM kasa.moves WHERE ", begin, end);
}

}  // namespace kestrune
