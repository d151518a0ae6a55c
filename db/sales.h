// The sales of a report period: the summary of the receipts and the sales of
// every product, read from the live tables and their archive twins.
#pragma once

#include <string>
#include <vector>

#include "db/company.h"
#include "db/connection.h"
#include "periods/period.h"

namespace kestrune {

// Totals of a period. They add up in double: a month of a busy restaurant
// passes a million lira, where a float no longer holds the kuruş.
struct SalesSummary {
  double cashsum = 0;
  double credsum = 0;
  double ceksum = 0;
  double senetsum = 0;
  double carisum = 0;
  double ikramsum = 0;
  double isknt = 0;
  double puantaj = 0;
  double grossTotal = 0;
  double grossTotalCopy = 0;
  double orderType1Total = 0;  // phone order
  double orderType2Total = 0;  // take-away
  double orderType3Total = 0;  // table service
  double orderType4Total = 0;  // self service
  double orderType7Total = 0;  // Yemek Sepeti
  double orderType8Total = 0;  // Getir
};

// What a report prints above its product table.
struct SummaryRecord {
  std::string summaryName;    // the company folder name
  char summaryTime[20] = {};  // HH:MM:SS of the report
  SalesSummary summary;
};

struct SalesData {
  DatabaseConnection connection;
  SalesSummary summary;                      // of the last summary read
  std::vector<StockDefinition> stockByCode;  // ascending stcode
  std::vector<StockDefinition> stockByName;  // ascending stname
};

// Every read covers begin..end (texts "YYYY-MM-DD HH:MM:SS", both bounds
// inclusive) and returns 1, or -2 after a reported error.

// Adds the order items of the period into stockByCode (reset first).
int readOrderItemSales(SalesData& sales, const char* begin, const char* end);
// The receipts of the period into summary: the daily run's read and the
// monthly run's, which differ only in their captions.
int readDailySalesSummary(SalesData& sales, const char* begin, const char* end);
int readSalesSummary(SalesData& sales, const char* begin, const char* end);
// Replace summary.credsum / ceksum / cashsum by the movement sums of the
// period. The result is no sum: -2.00 is a real sum as well as a failure.
int readBankMovesTotal(SalesData& sales, const char* begin, const char* end);
int readChequeMovesTotal(SalesData& sales, const char* begin, const char* end);
int readCashMovesTotal(SalesData& sales, const char* begin, const char* end);

}  // namespace kestrune
