// The product rows of a report: the period's sales laid over the menu.
#pragma once

#include <vector>

#include "db/sales.h"

namespace kestrune {

// Copies the period's sales of stockByCode over the same products in
// stockByName (whose sales are reset first).
void mergeCodeListIntoNameList(SalesData& sales);

// A product the period sold: it gets a row in the document.
bool hasSales(const StockDefinition& stock);

// How many rows the document's product table has.
int productRowCount(const std::vector<StockDefinition>& stockByName);

}  // namespace kestrune
