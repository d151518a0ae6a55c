// The HTML sales summary document of one report run.
#pragma once

#include <string>
#include <vector>

#include "db/company.h"
#include "db/sales.h"
#include "reports/folders.h"

namespace kestrune {

// Sets folders.uploadLocalPath (sales folder + "satis_ozet_" + nameSuffix +
// ".html") and folders.uploadFileName (nameSuffix + ".html"), then writes the
// document there. The file appears only when it was written whole; 0 then.
// When it cannot be written the error is reported (caption
// "WRITE_SATIS_OZET"), any earlier document stays as it was, and the result is -1.
int writeSalesSummaryDocument(const std::string& periodLine,
                              const std::vector<StockDefinition>& stockByName,
                              ReportFolders& folders, const SummaryRecord& record,
                              std::string nameSuffix, const std::u16string& title);

// An amount as the document shows it: "%.2f" in the user's number format.
std::string amountText(double amount);

}  // namespace kestrune
