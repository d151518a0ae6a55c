// The product rows of a report: the period's sales laid over the menu.
#pragma once

#include "db/sales.h"

namespace kestrune {

// Copies the period's sales of stockByCode over the same products in
// stockByName (whose sales are reset first).
void mergeCodeListIntoNameList(SalesData& sales);

}  // namespace kestrune
