#include "db/company.h"

#include <cppconn/resultset.h>

#include <algorithm>
#include <cstring>

#include "db/query.h"
#include "db/text.h"
#include "platform/text.h"

namespace kestrune {

namespace {

int readStockDefinitions(DatabaseConnection& db, const char* statement,
                         std::vector<StockDefinition>& list) {
  list.clear();
  QueryText query{"stocks", "READ_STOK_TANIMLARI_BY_NAME", statement};
  bool ok = runQuery(db, query, [&](sql::ResultSet& row) {
    StockDefinition s;
    s.stcode = row.getInt64(1);
    s.type = static_cast<int8_t>(row.getInt(2) & 0xFF);
    s.gra = row.getInt(3);
    s.grb = row.getInt(4);
    s.grc = row.getInt(5);
    std::u16string name = utf8ToUtf16(columnText(row, 6));
    size_t n = std::min(name.size(), std::size(s.stname) - 1);
    std::copy_n(name.data(), n, s.stname);
    copyText(s.unit, columnText(row, 7));
    s.depart = row.getInt(8);
    list.push_back(s);
  });
  return ok ? static_cast<int>(list.size()) : -2;
}

}  // namespace

void resetSales(StockDefinition& s) {
  s.soldCount = 0;
  s.soldQuantity = 0;
  s.unitPriceSum = 0;
  s.salesAmount = 0;
  s.costAmount = 0;
  std::fill(std::begin(s.spareCounts1), std::end(s.spareCounts1), 0);
  std::fill(std::begin(s.spareCounts2), std::end(s.spareCounts2), 0);
  s.spareCount3 = 0;
  s.spareAmount = 0;
  s.depart = 0;
}

int readCompany(DatabaseConnection& db, CompanyInfo& company) {
  QueryText query{"company", "READ_COMPANY",
                  "SELECT compname,compfolder,mustID,machID,yedeklemehash,raporlamahash FROM "
                  "maininfo;"};
  bool first = true;
  bool ok = runQuery(db, query, [&](sql::ResultSet& row) {
    if (!first) return;
    first = false;
    company.compname = columnText(row, 1);
    company.compfolder = columnText(row, 2);
    company.mustID = row.getInt(3);
    company.machID = columnText(row, 4);
    company.yedeklemehash = columnText(row, 5);
    company.raporlamahash = columnText(row, 6);
  });
  return ok ? 1 : -2;
}

int readStockDefinitionsByCode(DatabaseConnection& db, std::vector<StockDefinition>& list) {
  return readStockDefinitions(
      db, "SELECT stcode,type,gra,grb,grc,stname,unit,depart  FROM stckdef ORDER BY stcode;", list);
}

int readStockDefinitionsByName(DatabaseConnection& db, std::vector<StockDefinition>& list) {
  return readStockDefinitions(
      db, "SELECT stcode,type,gra,grb,grc,stname,unit,depart  FROM stckdef ORDER BY stname;", list);
}

int findStockByCode(const std::vector<StockDefinition>& list, int64_t code) {
  int low = 0, high = static_cast<int>(list.size()) - 1;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    int64_t here = list[middle].stcode;
    if (code < here)
      high = middle - 1;
    else if (code == here)
      return middle;
    else
      low = middle + 1;
  }
  return -1;
}

}  // namespace kestrune
