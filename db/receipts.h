// Reads of the receipts alone (satislar.shopcharts and its archive twin
// shpchrtarch, by their tmstmp index) for the owner's page: the totals of
// other periods to compare with, and one period's receipts grouped by hour
// or by business day. They never touch order items. Like the report's reads
// they take both tables with UNION: a receipt that stands the same in the
// live table and the archive counts once. A page's reads go over one
// connection, their QuerySession's (db/query.h).
#pragma once

#include <cstdint>
#include <vector>

#include "db/query.h"

namespace kestrune {

// Gross is the sum of every collection column of a receipt (cashsum, credsum,
// ceksum, senetsum, carisum, ikramsum, isknt, puantaj), as the report adds it.
struct ReceiptTotals {
  int64_t receipts = 0;
  double gross = 0;
  double discount = 0;       // isknt
  double complimentary = 0;  // ikramsum
};

// Totals of begin..end (inclusive, "YYYY-MM-DD HH:MM:SS"). False after a
// reported error (caption "READ_OZET_FIS_TOPLAM").
bool readReceiptTotals(QuerySession& reads, const char* begin, const char* end,
                       ReceiptTotals& totals);

// One grouped read of begin..end by the hour of the receipt's tmstmp:
// byHour[h] for clock hour h (0..23). False after a reported error
// (caption "READ_OZET_SAATLIK").
bool readReceiptsByHour(QuerySession& reads, const char* begin, const char* end,
                        ReceiptTotals (&byHour)[24]);

// begin..end grouped by business day (06:00 to 05:59): byDay[i] for the
// i-th day from `begin`'s date (the list is made as long as needed). False
// after a reported error (caption "READ_OZET_GUNLUK").
bool readReceiptsByDay(QuerySession& reads, const char* begin, const char* end,
                       std::vector<ReceiptTotals>& byDay);

}  // namespace kestrune
