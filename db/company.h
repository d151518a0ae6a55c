// Master data read once at start-up: the restaurant's company record and the
// stock (product) definitions with their per-period sales accumulators.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/connection.h"

namespace kestrune {

struct CompanyInfo {
  std::string compname;    // UTF-8 as stored
  std::string compfolder;  // the restaurant's folder on the FTP server
  std::string branchName;  // no query fills it
  std::string machID;
  std::string yedeklemehash;
  std::string raporlamahash;  // prefix of uploaded report names
  int32_t mustID = 0;
  int32_t branchNo = 0;  // no query fills it
};

struct StockDefinition {
  int8_t type = 0;
  int32_t gra = 0;
  int32_t grb = 0;
  int32_t grc = 0;
  char16_t stname[60] = {};  // at most 59 units and a terminator
  char unit[8] = {};         // at most 7 bytes and a terminator
  int32_t spareCounts1[5] = {};
  int64_t stcode = 0;
  // Sales of the current period; money and quantities add up in double so
  // that a month of sales keeps every kuruş.
  int64_t soldCount = 0;
  double soldQuantity = 0;
  double unitPriceSum = 0;
  double salesAmount = 0;
  int32_t spareCounts2[2] = {};
  int32_t depart = 0;
  int32_t spareCount3 = 0;
  double costAmount = 0;
  float spareAmount = 0;
};

// Zeroes what a sales read accumulates (and depart, as the reset always did).
void resetSales(StockDefinition& stock);

// First row of company.maininfo. 1 when done (also with no row), -2 after a reported error.
int readCompany(DatabaseConnection& db, CompanyInfo& company);

// stocks.stckdef ordered by code / by name into `list` (emptied first).
// The number of records, or -2 after a reported error.
int readStockDefinitionsByCode(DatabaseConnection& db, std::vector<StockDefinition>& list);
int readStockDefinitionsByName(DatabaseConnection& db, std::vector<StockDefinition>& list);

// Bisection over a list in ascending stcode order: index of a record with
// that code, or -1.
int findStockByCode(const std::vector<StockDefinition>& list, int64_t code);

}  // namespace kestrune
