// One measured run of the agent's own code, in a process of its own so that
// its peak memory is the run's alone. The benchmark (kestrune-bench) starts it
// with the settings (XDG_CONFIG_HOME) of one seeded database:
//
//   kestrune-bench-case daily|monthly|closed-days|daily-closed|export|mark-batch|
//                       mark-per-row|uploads|stock-lists|daily-upload|daily-page|monthly-page
//                       [--now EPOCH] [--statements PREFIX] [--uploads N]
//
// It loads what the agent loads at start-up (company, both stock lists), then
// times the run function alone (stock-lists: the read of both lists that
// every report run makes first) and prints one line:
//
//   seconds 3.214 cpu 1.950 peak_kb 9120
//
// "closed-days" is the catch-up after a month away: the 31 closed days
// before the current business day, delivered as the agent delivers them.
// "daily-closed" is the daily tick's run when a day and a month have just
// closed: the daily report, then yesterday's and last month's final reports,
// each with its owner's page, over one FTP session.
// --now puts the agent's clock at that moment (the seeded period).
// "uploads" sends a 50 KB file N times (default 10000) as the agent sends a
// report and adds "slow K" to the line: the uploads that took 0.9 s or more.
// On this libcurl an upload now and then has, for a moment, no socket to wait
// on, and a poll that then sleeps its whole time-out costs it a second; how
// often depends on the timing of the moment (one in 200 to one in a few
// thousand uploads here), so no short test can tell whether the upload loop
// still falls into it.
// "daily-upload" makes a daily report as "daily" does, untimed (the agent's
// first report of the day warms the FTP and TLS libraries the same way),
// then times the upload of that document alone: what TLS changes in a daily
// run, without the scatter of the database reads.
// "daily-page" and "monthly-page" make that report as "daily" and "monthly"
// do and read its owner's page's figures, both untimed, then time the page
// built from them alone: the report's figures and products taken into it,
// rendered and written whole (reports/owner_page), no database.
// --statements records every statement the run sends as two scripts for the
// command-line client: PREFIX-default.sql as sent, PREFIX-session.sql with
// the session setup the agent runs first. Any error shown by the agent makes
// the exit status 1.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/closed_reports.h"
#include "app/export_run.h"
#include "app/owner_pages.h"
#include "app/report_runs.h"
#include "db/expenses.h"
#include "db/query.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "reports/owner_page.h"
#include "transfer/upload.h"

using namespace kestrune;

namespace {

// Peak resident memory of this process so far, in kB.
long peakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// Writes what the frame sends as client scripts: a statement per line after
// the USE of its schema.
struct StatementScripts {
  std::ofstream plain;
  std::ofstream session;

  explicit StatementScripts(const std::string& prefix)
      : plain(prefix + "-default.sql", std::ios::trunc),
        session(prefix + "-session.sql", std::ios::trunc) {}

  void add(const char* schema, const char* setup, const std::string& statement) {
    std::string text = std::string("USE ") + schema + ";\n" + statement;
    if (text.back() != ';') text += ';';
    text += '\n';
    plain << text;
    if (setup) session << setup << ";\n";
    session << text;
  }
};

int usage() {
  std::fputs(
      "usage: kestrune-bench-case daily|monthly|closed-days|daily-closed|export|mark-batch|"
      "mark-per-row|uploads|"
      "stock-lists|daily-upload|daily-page|monthly-page [--now EPOCH] [--statements PREFIX] "
      "[--uploads N]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string job = argv[1];
  long long now = 0;
  std::string statements;
  int uploads = 10000;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--now") == 0 && i + 1 < argc)
      now = std::atoll(argv[++i]);
    else if (std::strcmp(argv[i], "--uploads") == 0 && i + 1 < argc)
      uploads = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--statements") == 0 && i + 1 < argc)
      statements = argv[++i];
    else
      return usage();
  }
  if (job != "daily" && job != "monthly" && job != "closed-days" && job != "daily-closed" &&
      job != "export" && job != "mark-batch" && job != "mark-per-row" && job != "uploads" &&
      job != "stock-lists" && job != "daily-upload" && job != "daily-page" && job != "monthly-page")
    return usage();
  const bool pageJob = job == "daily-page" || job == "monthly-page";

  std::atomic<int> errors{0};
  setErrorSink([&errors](const std::string& caption, const std::string& text) {
    ++errors;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  });
  if (now > 0) setClockSource([now] { return static_cast<int64_t>(now); });

  static AppState app;  // as the agent keeps it: one object for the whole run
  openAgentData(app);
  ExpenseStore& store = app.exports.expenses;
  std::vector<int32_t> ids;
  if (job == "mark-batch" || job == "mark-per-row") {
    readExpenseMoves(store);
    for (const ExpenseMove& m : store.expenseMoves) ids.push_back(m.Id);
  }

  std::unique_ptr<StatementScripts> scripts;
  if (!statements.empty()) {
    scripts.reset(new StatementScripts(statements));
    setStatementRecorder(
        [&scripts](const char* schema, const char* setup, const std::string& statement) {
          scripts->add(schema, setup, statement);
        });
  }

  std::string file = app.shared.folders.salesFolder + "/uploads.html";
  if (job == "uploads") {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 50 * 1024; ++i) out.put(static_cast<char>(i * 131 + 7));
  }

  int64_t today = businessDayOf(nowSeconds());
  if (job == "daily-closed") {
    // Delivered until the day before yesterday and the month before last:
    // yesterday and last month are due after the daily report.
    app.reports.closedStateLoaded = true;
    app.reports.closedState.dayKnown = app.reports.closedState.monthKnown = true;
    app.reports.closedState.lastDay = today - 2;
    app.reports.closedState.lastMonth = monthOfDay(today) - 2;
  }
  if (job == "closed-days") {
    // Delivered until 32 days ago, this month's predecessor already.
    app.reports.closedStateLoaded = true;
    app.reports.closedState.dayKnown = app.reports.closedState.monthKnown = true;
    app.reports.closedState.lastDay = today - 1 - kClosedDaysCaughtUp;
    app.reports.closedState.lastMonth = monthOfDay(today) - 1;
  }

  bool done = false;
  if (job == "daily-upload") {
    runDailyReport(app.reports, app.shared);
    if (app.shared.status.dailyReportsSent != 1) {
      std::fprintf(stderr, "daily-upload: the daily report was not sent\n");
      return 1;
    }
  }
  // The page's figures, read once its report is on the server; the timed
  // build takes the report's own figures and products into it again.
  OwnerPage page;
  const std::string pageSuffix = job == "daily-page" ? "gunluk" : "aylik";
  if (pageJob) {
    bool month = job == "monthly-page";
    RunOutcome report =
        month ? runMonthlyReport(app.reports, app.shared) : runDailyReport(app.reports, app.shared);
    int64_t madeAt = nowSeconds();
    ReportPeriod period = month ? businessMonthPeriod(madeAt) : dailyPeriod(madeAt);
    if (!report.uploaded || !ownerPageFigures(app.reports, app.shared, companyRecord(app.shared),
                                              period, madeAt, pageSuffix, month, page)) {
      std::fprintf(stderr, "%s: the report or the page's figures failed\n", job.c_str());
      return 1;
    }
    page.products.clear();
  }
  int slow = 0;
  std::clock_t cpuStart = std::clock();
  auto start = std::chrono::steady_clock::now();
  if (job == "daily") {
    done = runDailyReport(app.reports, app.shared).uploaded;
  } else if (job == "monthly") {
    done = runMonthlyReport(app.reports, app.shared).uploaded;
  } else if (job == "daily-closed") {
    done = runDailyReportThenClosed(app.reports, app.shared).uploaded &&
           app.reports.closedState.lastDay == today - 1 &&
           app.reports.closedState.lastMonth == monthOfDay(today) - 1;
  } else if (job == "closed-days") {
    deliverClosedReports(app.reports, app.shared);
    done = app.reports.closedState.lastDay == today - 1;
  } else if (job == "export") {
    done = runExpenseExport(app.exports, app.shared).uploaded;
  } else if (job == "uploads") {
    int sent = 0;
    for (int i = 0; i < uploads; ++i) {
      auto began = std::chrono::steady_clock::now();
      sent += uploadFile("uploads.html", file, app.shared.company.record) == kFtpDone;
      slow += std::chrono::steady_clock::now() - began >= std::chrono::milliseconds(900);
    }
    done = sent == uploads;
  } else if (job == "daily-upload") {
    // The document the daily run above wrote.
    done = uploadReport(app.shared.folders.salesFolder + "/satis_ozet_gunluk.html", "gunluk.html",
                        app.shared.company.record) == 1;
  } else if (pageJob) {
    takeReportFigures(page, app.reports.sales.summary);
    takeReportProducts(page, app.reports.sales.stockByName);
    done =
        writeOwnerPage(app.shared.folders.salesFolder, ownerPageName(pageSuffix), page).result == 0;
  } else if (job == "stock-lists") {
    done = refreshStockLists(app.reports) && !app.reports.sales.stockByCode.empty();
  } else if (job == "mark-batch") {
    done = markExpenseMovesProcessed(store, ids) == ids.size();
  } else {
    size_t marked = 0;
    for (int32_t id : ids) marked += markExpenseMoveProcessed(store, id) == 0;
    done = marked == ids.size();
  }
  auto end = std::chrono::steady_clock::now();
  std::clock_t cpuEnd = std::clock();
  setStatementRecorder(nullptr);
  scripts.reset();

  std::printf("seconds %.6f cpu %.6f peak_kb %ld",
              std::chrono::duration<double>(end - start).count(),
              static_cast<double>(cpuEnd - cpuStart) / CLOCKS_PER_SEC, peakKilobytes());
  if (job == "uploads") std::printf(" slow %d", slow);
  std::printf("\n");
  if (!done) std::fprintf(stderr, "%s: the run did not complete\n", job.c_str());
  return done && errors == 0 ? 0 : 1;
}
