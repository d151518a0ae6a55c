#include "app/app_state.h"

#include <utility>
#include <vector>

#include "app/setup.h"
#include "platform/control.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "transfer/file_names.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

void readStockLists(ReportRunsData& reports) {
  SalesData& sales = reports.sales;
  std::vector<StockDefinition> byCode, byName;
  // Room for the lists they replace: the lists of an unchanged menu grow
  // without a copy, and memory takes two sets of lists at most.
  byCode.reserve(sales.stockByCode.size());
  byName.reserve(sales.stockByName.size());
  bool ok = readStockDefinitionsByCode(sales.connection, byCode) >= 0;
  ok = readStockDefinitionsByName(sales.connection, byName) >= 0 && ok;
  // A failed read replaces only lists that never came whole: start-up keeps
  // what arrived, as it always did.
  if (ok || reports.stockListsMissing) {
    sales.stockByCode = std::move(byCode);
    sales.stockByName = std::move(byName);
  }
  if (ok) reports.stockListsMissing = false;
}

}  // namespace

void openAgentData(AppState& app) {
  SharedState& shared = app.shared;
  initReportFolders(shared.folders);
  if (!shared.folders.rootFolder.empty())
    openLog(shared.folders.rootFolder + kPathSeparator + "kestrune.log");
  // Said before the database errors that a wrong setting would cause.
  reportSettingsFindings();
  checkUploadSettings();
  // The status shows the last deliveries, the database up or not.
  loadClosedState(app.reports, shared);
  openConnection(shared.company.connection);
  openConnection(app.reports.sales.connection);
  openConnection(app.exports.expenses.connection);
  CompanyInfo company;
  bool companyRead = readCompany(shared.company.connection, company) == 1;
  {
    std::lock_guard<std::mutex> lock(shared.company.mutex);
    shared.company.record = std::move(company);
    shared.company.missing = !companyRead;
  }
  readStockLists(app.reports);
  noteDatabaseAnswer(shared, app.reports.sales.connection);
  app.exports.connectionMissing = !app.exports.expenses.connection.connection;
  std::string line = "start-up: kestrune " KESTRUNE_VERSION ", ";
  line += companyRead ? "company folder \"" + companyRecord(shared).compfolder + "\""
                      : "company record not read";
  line += ", " + std::to_string(app.reports.sales.stockByName.size()) + " products";
  if (app.reports.stockListsMissing) line += " (product lists not read)";
  logLine(line);
}

bool refreshCompany(SharedState& shared) {
  CompanyStore& store = shared.company;
  std::lock_guard<std::mutex> refresh(store.refreshMutex);
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(store.mutex);
    known = !store.missing;
    if (known && !store.record.compfolder.empty()) return true;
  }
  if (!store.connection.connection) openConnection(store.connection);
  CompanyInfo company;
  bool read = readCompany(store.connection, company) == 1;
  noteDatabaseAnswer(shared, store.connection);
  if (!read) return known;
  std::lock_guard<std::mutex> lock(store.mutex);
  store.record = std::move(company);
  store.missing = false;
  return true;
}

bool refreshStockLists(ReportRunsData& reports) {
  if (!reports.sales.connection.connection) openConnection(reports.sales.connection);
  readStockLists(reports);
  return !reports.stockListsMissing;
}

void refreshExpenseConnection(ExportData& exports) {
  if (!exports.connectionMissing) return;
  openConnection(exports.expenses.connection);
  exports.connectionMissing = !exports.expenses.connection.connection;
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

CompanyInfo companyRecord(const SharedState& shared) {
  std::lock_guard<std::mutex> lock(shared.company.mutex);
  return shared.company.record;
}

int uploadForRun(SharedState& shared, FtpSession& session, const std::string& remoteName,
                 const std::string& localPath, const CompanyInfo& company) {
  // A name that could leave the restaurant's folder is refused before any
  // connection, as is an upload whose client could not be set up: the
  // server was not asked.
  bool contacts = isPlainRemoteName(company.compfolder) && isPlainRemoteName(remoteName);
  int result = uploadFile(session, remoteName, localPath, company);
  shared.status.ftpAnswered = !contacts || result == kFtpOpenFailed ? -1
                              : result == kFtpConnectFailed         ? 0
                                                                    : 1;
  if (result == kFtpFolderFailed || result == kFtpPutFailed) refreshStatus();
  return result;
}

void noteDatabaseAnswer(SharedState& shared, const DatabaseConnection& connection) {
  if (connection.serverAnswered >= 0) shared.status.databaseAnswered = connection.serverAnswered;
}

}  // namespace kestrune
