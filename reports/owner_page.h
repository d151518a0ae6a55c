// The owner's page: the figures of a day or a month at a glance, beside the
// report the server expects. It is a plain record of kuruş and counts and a
// renderer to one self-contained UTF-8 HTML file (inline CSS and SVG, no
// script, no request beyond itself). Numbers and texts are formatted here,
// never through the system's locale, so every system gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/sales.h"

namespace kestrune {

// Money is held in kuruş. An amount the report also prints is taken as the
// report prints it ("%.2f" of the double), so both show the same kuruş.
int64_t kurusOf(double amount);

// Totals of one period for the figures at the top. Net is gross (every
// collection column, the report's "Tahsilat Toplamı") minus discount minus
// complimentary.
struct OwnerTotals {
  bool known = false;  // false: no such period / no data ("-")
  int64_t grossKurus = 0;
  int64_t discountKurus = 0;
  int64_t complimentaryKurus = 0;
  int64_t receipts = 0;
};

int64_t netKurus(const OwnerTotals& totals);

struct OwnerProduct {
  std::string name;  // UTF-8
  int64_t amountKurus = 0;
  int64_t quantityMilli = 0;  // thousandths of the unit
};

enum OwnerPayment {
  kPayCash,
  kPayCard,
  kPayCheque,
  kPayVoucher,
  kPayAccount,
  kPayPoints,
  kPayCount
};
// Table service, take-away, phone, self service, Yemek Sepeti, Getir, other
// (types 5, 6 and any other): the rows add up to the gross total.
enum { kOrderTypeCount = 7 };

struct OwnerPage {
  bool month = false;
  bool closed = false;      // a closed period's final page ("KESİN")
  std::string companyName;  // UTF-8
  std::string periodText;   // "08.12.2026" or "Aralık 2026"
  std::string madeAt;       // "08.12.2026 14:30"
  OwnerTotals current;
  // A day: the same weekday last week, the average of the last four.
  // A month: the month before (up to the same day while running).
  std::string comparisonLabels[2];
  OwnerTotals comparisons[2];
  int comparisonCount = 0;
  int64_t hourKurus[24] = {};  // index 0 is 06:00-06:59, 23 is 05:00-05:59
  int64_t hourReceipts[24] = {};
  int64_t paymentKurus[kPayCount] = {};
  int64_t orderTypeKurus[kOrderTypeCount] = {};
  std::vector<OwnerProduct> products;  // those that sold (at least those that can be in a top ten)
  std::vector<int64_t> dayKurus;       // a month: net of each day, day 1 first
};

// Fills current, the payment mix and the order types from the report's own
// summary, rounded as the report prints them.
void takeReportFigures(OwnerPage& page, const SalesSummary& summary);

// Adds the products of the report's list that sold and can be in one of the
// top tens (at or above the tenth amount or quantity).
void takeReportProducts(OwnerPage& page, const std::vector<StockDefinition>& stockByName);

// The ten best products by amount (or by quantity), best first; ties by name.
std::vector<OwnerProduct> topProducts(const std::vector<OwnerProduct>& products, bool byQuantity);

// Turkish number texts: "1.234,56" for kuruş, "12.345" for counts.
std::string turkishMoney(int64_t kurus);
std::string turkishCount(int64_t count);
// The change from `before` to `now` as "▲ %12,3" / "▼ %4,0"; "-" when there
// is nothing to compare with.
std::string changeText(const OwnerTotals& nowTotals, const OwnerTotals& before, int figure);

// The whole page.
std::string renderOwnerPage(const OwnerPage& page);

struct OwnerPageFile {
  int result = -1;        // 0 when written whole
  std::string localPath;  // salesFolder + separator + fileName
  std::string fileName;
};

// Writes the page to salesFolder/fileName, whole or not at all (an earlier
// file stays as it was); an error is shown under "WRITE_OZET_SAYFA".
OwnerPageFile writeOwnerPage(const std::string& salesFolder, const std::string& fileName,
                             const OwnerPage& page);

}  // namespace kestrune
