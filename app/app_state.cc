#include "app/app_state.h"

#include <utility>
#include <vector>

#include "app/setup.h"
#include "platform/folders.h"
#include "platform/log.h"

namespace kestrune {

namespace {

bool readStockLists(AppState& app) {
  std::vector<StockDefinition> byCode, byName;
  bool ok = readStockDefinitionsByCode(app.sales.connection, byCode) >= 0;
  ok = readStockDefinitionsByName(app.sales.connection, byName) >= 0 && ok;
  // Even a failed read leaves what arrived, as start-up always did.
  app.sales.stockByCode = std::move(byCode);
  app.sales.stockByName = std::move(byName);
  return ok;
}

}  // namespace

void openAgentData(AppState& app) {
  initReportFolders(app.folders);
  if (!app.folders.rootFolder.empty())
    openLog(app.folders.rootFolder + kPathSeparator + "kestrune.log");
  // Said before the database errors that a wrong setting would cause.
  reportSettingsFindings();
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
  app.salesDataMissing = !readStockLists(app);
  app.expenseConnectionMissing = !app.expenses.connection.connection;
  std::string line = "start-up: kestrune " KESTRUNE_VERSION ", ";
  line += companyRead ? "company folder \"" + companyRecord(app).compfolder + "\"" :
                        "company record not read";
  line += ", " + std::to_string(app.sales.stockByName.size()) + " products";
  if (app.salesDataMissing) line += " (product lists not read)";
  logLine(line);
}

bool refreshCompany(AppState& app) {
  std::lock_guard<std::mutex> refresh(app.refreshMutex);
  {
    std::lock_guard<std::mutex> lock(app.companyMutex);
    if (!app.companyMissing) return true;
  }
  // The connection is used by this function only, under refreshMutex.
  if (!app.companyConnection.connection) openConnection(app.companyConnection);
  CompanyInfo company;
  if (readCompany(app.companyConnection, company) != 1) return false;
  std::lock_guard<std::mutex> lock(app.companyMutex);
  app.company = std::move(company);
  app.companyMissing = false;
  return true;
}

void refreshSalesData(AppState& app) {
  if (!app.salesDataMissing) return;
  if (!app.sales.connection.connection) openConnection(app.sales.connection);
  app.salesDataMissing = !readStockLists(app);
}

void refreshExpenseConnection(AppState& app) {
  if (!app.expenseConnectionMissing) return;
  openConnection(app.expenses.connection);
  app.expenseConnectionMissing = !app.expenses.connection.connection;
}

CompanyInfo companyRecord(const AppState& app) {
  std::lock_guard<std::mutex> lock(app.companyMutex);
  return app.company;
}

}  // namespace kestrune
