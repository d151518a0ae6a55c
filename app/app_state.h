// The agent's one application object: connections, master data, the sales
// and expense data, the folders and the counters the status panel shows.
#pragma once

#include <atomic>
#include <cstdint>

#include "db/company.h"
#include "db/connection.h"
#include "db/expenses.h"
#include "db/sales.h"
#include "platform/window.h"
#include "reports/folders.h"

namespace kestrune {

struct AppState {
  DatabaseConnection companyConnection;
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
};

// Start-up's data: the folders, the three connections (company, sales,
// expenses), the company record and both stock lists. Failures are reported
// by the queries; the agent goes on with what it has.
void openAgentData(AppState& app);

}  // namespace kestrune
