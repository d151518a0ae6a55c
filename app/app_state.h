// The agent's state, split by who may touch it: the report runs' data (their
// thread only), the export's data (its thread only), and what every thread
// shares (fixed after start-up, atomic, or under its mutex). A run function
// takes its own part and the shared one; the status panel and the control
// socket read only the shared one.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/closed_reports.h"
#include "app/health.h"
#include "app/report_now.h"
#include "db/company.h"
#include "db/connection.h"
#include "db/expenses.h"
#include "db/sales.h"
#include "platform/ftp.h"
#include "reports/folders.h"

namespace kestrune {

// What one run did. The log, the status panel and a client that asked for
// the run (kestrune report, kestrune send 0x488) read it.
struct RunOutcome {
  bool uploaded = false;  // the report or gider.dat reached the server
  std::string reason;     // why not, when not
  int products = 0;       // report: product rows in the document
  int records = 0;        // export: gider.dat records
  int images = 0;         // export: receipt images sent
  int imagesWaiting = 0;  // export: movements whose image is not in the folder yet
};

enum class RunKind { Daily, Monthly, Export };

// The company record. Read at start-up, and again by a run while start-up
// could not read it or while it names no folder; any thread.
struct CompanyStore {
  // Guards record and missing; never held across database work or an error
  // (the status panel takes it from the window's thread).
  mutable std::mutex mutex;
  CompanyInfo record;
  bool missing = false;
  // One re-read at a time; guards connection.
  std::mutex refreshMutex;
  DatabaseConnection connection;
};

// The counters and the health the status panel shows, written by any thread.
struct AgentStatus {
  std::atomic<int32_t> exportRequests{0};
  std::atomic<int32_t> exportsCompleted{0};
  std::atomic<int32_t> counterRequests{0};
  std::atomic<int32_t> tickCount{0};
  std::atomic<int32_t> dailyReportsSent{0};
  std::atomic<int32_t> monthlyReportsSent{0};
  // Exports whose gider.dat reached the server (exportsCompleted counts every run).
  std::atomic<int32_t> exportsUploaded{0};
  // Whether the servers answered the last statement / the last upload: 1 they
  // did, 0 they did not, -1 nothing was tried (or the upload contacted no
  // server: a name refused before it).
  std::atomic<int> databaseAnswered{-1};
  std::atomic<int> ftpAnswered{-1};

  mutable std::mutex healthMutex;  // guards health
  AgentHealth health;
};

// What every thread shares.
struct SharedState {
  ReportFolders folders;  // fixed after start-up
  CompanyStore company;
  AgentStatus status;
  // The agent is ending: a run in progress stops at its next step (nothing
  // more is read, written, sent, marked or counted).
  std::atomic<bool> ending{false};
};

// The FTP session of one thread's runs. The outermost run function holds a
// RunFtpScope for its whole run, so that everything the run sends (a report,
// its owner's page, the closed periods; gider.dat and its images) goes over
// one log-in, ended (QUIT) when the run ends.
struct RunFtp {
  FtpSession session;
  int runs = 0;  // run functions under way on this thread, one inside another
};
struct RunFtpScope {
  explicit RunFtpScope(RunFtp& ftp) : ftp_(ftp) { ++ftp_.runs; }
  ~RunFtpScope() {
    if (--ftp_.runs == 0) closeFtpSession(ftp_.session);
  }
  RunFtpScope(const RunFtpScope&) = delete;
  RunFtpScope& operator=(const RunFtpScope&) = delete;

 private:
  RunFtp& ftp_;
};

// The report runs' thread only: the sales data with its connection and stock
// lists, and what the delivery of closed periods keeps.
struct ReportRunsData {
  SalesData sales;
  // No whole read of the stock lists yet.
  bool stockListsMissing = true;
  // The closed periods delivered, read from the state file by the first
  // delivery of the process.
  bool closedStateLoaded = false;
  ClosedState closedState;
  RunFtp ftp;
};

// The export's thread only.
struct ExportData {
  ExpenseStore expenses;
  bool connectionMissing = false;
  RunFtp ftp;
};

struct AppState {
  SharedState shared;
  ReportRunsData reports;
  ExportData exports;
  // Daily reports asked for now (its own mutex), run by the scheduler's thread.
  ReportRequests reportNow;
  // Threads of the agent's work (the scheduler, an export) not finished yet;
  // the agent's end waits a few seconds for them, not for their reads.
  std::atomic<int> workThreads{0};
};

// Start-up's data: the folders, the three connections (company, sales,
// expenses), the company record and both stock lists. Failures are reported
// by the queries; the agent goes on with what it has.
void openAgentData(AppState& app);

// Reads the company record again (with a fresh connection when start-up had
// none) when start-up could not, and while the record names no folder, so
// that uploads resume once it has one. Any thread. True when the company
// record is known: read at start-up or later.
bool refreshCompany(SharedState& shared);
// Reads both stock lists again, with the statements of start-up, so that a
// product added to the menu is in the next report; opens the sales
// connection again first when start-up could not. A whole read replaces the
// lists; after a failed one the lists from the last whole read stay (never a
// partial read over good lists). True when the lists come from a whole read,
// now or before.
bool refreshStockLists(ReportRunsData& reports);
// Opens the expense connection again when start-up could not.
void refreshExpenseConnection(ExportData& exports);

// Whether the company record names the restaurant's folder on the server.
// When not, shows so (a run calls it once) and sets outcome.reason: the run's
// files would land in the folder all restaurants share.
bool companyHasFolder(const CompanyInfo& company, RunOutcome& outcome);

// A copy of the company record, safe from any thread.
CompanyInfo companyRecord(const SharedState& shared);

// An upload of a run over its session: transfer/upload's uploadFile, whose
// result the status keeps (and the panel repaints after a failed folder or
// transfer).
int uploadForRun(SharedState& shared, FtpSession& session, const std::string& remoteName,
                 const std::string& localPath, const CompanyInfo& company);

// After a run's reads: whether the database server answered them.
void noteDatabaseAnswer(SharedState& shared, const DatabaseConnection& connection);

}  // namespace kestrune
