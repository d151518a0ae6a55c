// The agent's one application object: connections, master data, the sales
// and expense data, the folders and the counters the status panel shows.
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
#include "platform/window.h"
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

struct AppState {
  DatabaseConnection companyConnection;
  // Written by start-up, and again by a run when start-up could not read it
  // or while it names no folder; other threads take a copy with companyRecord().
  CompanyInfo company;
  ExpenseStore expenses;
  SalesData sales;
  ReportFolders folders;
  WindowHandle mainWindow = nullptr;

  // Written by the scheduler thread or the request loop, read by the status
  // panel at any time.
  std::atomic<int32_t> exportRequests{0};
  std::atomic<int32_t> exportsCompleted{0};
  std::atomic<int32_t> counterRequests{0};
  std::atomic<int32_t> tickCount{0};
  std::atomic<int32_t> dailyReportsSent{0};
  std::atomic<int32_t> monthlyReportsSent{0};
  // Exports whose gider.dat reached the server (exportsCompleted counts every run).
  std::atomic<int32_t> exportsUploaded{0};

  // The agent is ending: a run in progress stops at its next step (nothing
  // more is read, written, sent, marked or counted).
  std::atomic<bool> ending{false};
  // Threads of the agent's work (the scheduler, an export) not finished yet;
  // the agent's end waits a few seconds for them, not for their reads.
  std::atomic<int> workThreads{0};

  // What start-up could not read because the server was away (or refused
  // both passwords) is read again by the next run, so that the agent comes
  // right without a restart once the server is back.
  // companyMutex is never held across database work or an error: the status
  // panel takes it from the window's thread.
  mutable std::mutex companyMutex;  // guards company and companyMissing
  std::mutex refreshMutex;          // one re-read of the company record at a time
  bool companyMissing = false;
  // No whole read of the stock lists yet; the report runs' thread only.
  bool salesDataMissing = true;
  bool expenseConnectionMissing = false;  // the export's thread only

  // The closed periods delivered, read from the state file by the first
  // delivery of the process; the thread of the report runs only.
  bool closedStateLoaded = false;
  ClosedState closedState;

  mutable std::mutex healthMutex;  // guards health
  AgentHealth health;

  // Daily reports asked for now, run by the scheduler's thread.
  ReportRequests reportNow;
};

// Start-up's data: the folders, the three connections (company, sales,
// expenses), the company record and both stock lists. Failures are reported
// by the queries; the agent goes on with what it has.
void openAgentData(AppState& app);

// Reads the company record again (with a fresh connection when start-up had
// none) when start-up could not, and while the record names no folder, so
// that uploads resume once it has one. Any thread. True when the company
// record is known: read at start-up or later.
bool refreshCompany(AppState& app);
// Reads both stock lists again, with the statements of start-up, so that a
// product added to the menu is in the next report; opens the sales
// connection again first when start-up could not. A whole read replaces the
// lists; after a failed one the lists from the last whole read stay (never a
// partial read over good lists). The thread of the report runs only. True
// when the lists come from a whole read, now or before.
bool refreshSalesData(AppState& app);
// Opens the expense connection again when start-up could not; the thread of
// the export only.
void refreshExpenseConnection(AppState& app);

// Whether the company record names the restaurant's folder on the server.
// When not, shows so (a run calls it once) and sets outcome.reason: the run's
// files would land in the folder all restaurants share.
bool companyHasFolder(const CompanyInfo& company, RunOutcome& outcome);

// A copy of the company record, safe from any thread.
CompanyInfo companyRecord(const AppState& app);

}  // namespace kestrune
