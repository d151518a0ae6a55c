// The HTML sales summary document of one report run.
#pragma once

#include <string>
#include <vector>

#include "db/company.h"
#include "db/sales.h"

namespace kestrune {

// The document a report run wrote.
struct ReportFile {
  int result = -1;        // 0 when written whole; -1 after a reported error
  std::string localPath;  // sales folder + separator + "satis_ozet_" + nameSuffix + ".html"
  std::string fileName;   // nameSuffix + ".html": the short name the upload takes
};

// Writes the document into `salesFolder`. The file appears only when it was
// written whole. When it cannot be written the error is reported (caption
// "WRITE_SATIS_OZET") and any earlier document stays as it was.
ReportFile writeSalesSummaryDocument(const std::string& periodLine,
                                     const std::vector<StockDefinition>& stockByName,
                                     const std::string& salesFolder, const SummaryRecord& record,
                                     const std::string& nameSuffix, const std::u16string& title);

// An amount as the document shows it: "%.2f" in the user's number format.
std::string amountText(double amount);

}  // namespace kestrune
