#include "app/app_state.h"

namespace kestrune {

void openAgentData(AppState& app) {
  initReportFolders(app.folders);
  openConnection(app.companyConnection);
  openConnection(app.sales.connection);
  openConnection(app.expenses.connection);
  readCompany(app.companyConnection, app.company);
  readStockDefinitionsByCode(app.sales.connection, app.sales.stockByCode);
  readStockDefinitionsByName(app.sales.connection, app.sales.stockByName);
}

}  // namespace kestrune
