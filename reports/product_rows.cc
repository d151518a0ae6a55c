#include "reports/product_rows.h"

#include <unordered_map>

namespace kestrune {

void mergeCodeListIntoNameList(SalesData& sales) {
  std::unordered_map<int64_t, size_t> firstByCode;
  firstByCode.reserve(sales.stockByName.size());
  for (size_t i = 0; i < sales.stockByName.size(); ++i) {
    resetSales(sales.stockByName[i]);
    firstByCode.emplace(sales.stockByName[i].stcode, i);  // keeps the first occurrence
  }
  for (const StockDefinition& sold : sales.stockByCode) {
    if (!(sold.salesAmount > 0)) continue;
    auto found = firstByCode.find(sold.stcode);
    if (found != firstByCode.end()) sales.stockByName[found->second] = sold;
  }
}

bool hasSales(const StockDefinition& stock) {
  return stock.soldQuantity > 0 || stock.soldCount > 0 || stock.salesAmount > 0;
}

int productRowCount(const std::vector<StockDefinition>& stockByName) {
  int rows = 0;
  for (const StockDefinition& stock : stockByName) rows += hasSales(stock) ? 1 : 0;
  return rows;
}

}  // namespace kestrune
