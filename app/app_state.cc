#include "app/app_state.h"

#include <utility>
#include <vector>

#include "app/setup.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

void readStockLists(AppState& app) {
  std::vector<StockDefinition> byCode, byName;
  // Room for the lists they replace: the lists of an unchanged menu grow
  // without a copy, and memory takes two sets of lists at most.
  byCode.reserve(app.sales.stockByCode.size());
  byName.reserve(app.sales.stockByName.size());
  bool ok = readStockDefinitionsByCode(app.sales.connection, byCode) >= 0;
  ok = readStockDefinitionsByName(app.sales.connection, byName) >= 0 && ok;
  // A failed read replaces only lists that never came whole: start-up keeps
  // what arrived, as it always did.
  if (ok || app.salesDataMissing) {
    app.sales.stockByCode = std::move(byCode);
    app.sales.stockByName = std::move(byName);
  }
  if (ok) app.salesDataMissing = false;
}

}  // namespace

void openAgentData(AppState& app) {
  initReportFolders(app.folders);
  if (!app.folders.rootFolder.empty())
    openLog(app.folders.rootFolder + kPathSeparator + "kestrune.log");
  // Said before the database errors that a wrong setting would cause.
  reportSettingsFindings();
  checkUploadSettings();
  loadClosedState(app);  // the status shows the last deliveries, the database up or not
  openConnection(app.companyConnection);
  openConnection(app.sales.connection);
  openConnection(app.expenses.connection);
  CompanyInfo company;
  bool companyRead = readCompany(app.companyConnection, company) == 1;
  {
    std::lock_guard<std::mutex> lock(app.companyMutex);
    app.company = std::move(company);
    app.companyMissing = !companyRead;
  }
  readStockLists(app);
  app.expenseConnectionMissing = !app.expenses.connection.connection;
  std::string line = "start-up: kestrune " KESTRUNE_VERSION ", ";
  line += companyRead ? "company folder \"" + companyRecord(app).compfolder + "\""
                      : "company record not read";
  line += ", " + std::to_string(app.sales.stockByName.size()) + " products";
  if (app.salesDataMissing) line += " (product lists not read)";
  logLine(line);
}

bool refreshCompany(AppState& app) {
  std::lock_guard<std::mutex> refresh(app.refreshMutex);
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(app.companyMutex);
    known = !app.companyMissing;
    if (known && !app.company.compfolder.empty()) return true;
  }
  // The connection is used by this function only, under refreshMutex.
  if (!app.companyConnection.connection) openConnection(app.companyConnection);
  CompanyInfo company;
  if (readCompany(app.companyConnection, company) != 1) return known;
  std::lock_guard<std::mutex> lock(app.companyMutex);
  app.company = std::move(company);
  app.companyMissing = false;
  return true;
}

bool refreshSalesData(AppState& app) {
  if (!app.sales.connection.connection) openConnection(app.sales.connection);
  readStockLists(app);
  return !app.salesDataMissing;
}

void refreshExpenseConnection(AppState& app) {
  if (!app.expenseConnectionMissing) return;
  openConnection(app.expenses.connection);
  app.expenseConnectionMissing = !app.expenses.connection.connection;
}

bool companyHasFolder(const CompanyInfo& company, RunOutcome& outcome) {
  if (!company.compfolder.empty()) return true;
  showError("UPLOAD_COMPFOLDER",
            "The company record (company.maininfo) names no folder: compfolder is empty. "
            "Nothing is sent, since it would land in httpdocs/customer_yedek/, the folder all "
            "restaurants share; uploads resume once compfolder is filled in.");
  outcome.reason = "the company record names no folder";
  return false;
}

CompanyInfo companyRecord(const AppState& app) {
  std::lock_guard<std::mutex> lock(app.companyMutex);
  return app.company;
}

}  // namespace kestrune
