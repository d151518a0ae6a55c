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
  ReportPeriod period;
  SummaryRecord record;
  std::vector<StockDefinition> stockByCode;  // ascending stcode
  std::vector<StockDefinition> stockByName;  // ascending stname
  // Reads below that reported an error since a run set it to 0. A movement
  // sum's result cannot tell (-2.00 is also a real sum); this can.
  int failedReads = 0;
};

// Every read below adds 1 to failedReads after a reported error.

// Adds the order items of the period into stockByCode (reset first).
// 1, or -2 after a reported error.
int readOrderItemSales(SalesData& sales, const char* begin, const char* end);
// The receipts of the stored period / of begin..end into record.summary.
// 1, or -2 after a reported error.
int readDailySalesSummary(SalesData& sales);
int readSalesSummary(SalesData& sales, const char* begin, const char* end);
// Replace credsum / ceksum / cashsum by the movement sums of the period.
// The sum, or -2.0 after a reported error.
double readBankMovesTotal(SalesData& sales, const char* begin, const char* end);
double readChequeMovesTotal(SalesData& sales, const char* begin, const char* end);
double readCashMovesTotal(SalesData& sales, const char* begin, const char* end);

}  // namespace kestrune
