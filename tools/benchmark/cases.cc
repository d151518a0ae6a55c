#include "tools/benchmark/cases.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace kestrune::bench {

namespace {

using test::fileTail;
using test::ProcessSpec;
using test::quote;
using test::startProcess;
using test::waitForExit;

double clockSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long long salesClock() {
  std::tm t{};
  if (!strptime(kSalesNow, "%Y-%m-%d %H:%M:%S", &t)) fail("bad kSalesNow");
  t.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&t));
}

std::map<std::string, std::string> agentEnvironment(const DataSet& d) {
  return {{"XDG_CONFIG_HOME", d.config},
          {"HOME", options.work + "/home"},
          {"XDG_RUNTIME_DIR", options.work + "/run"}};
}

// Every export and marking run starts from unmarked moves, and only once the
// server has purged the old row versions of the reset: that background work
// would otherwise fall into the measured run.
void resetMarks(const DataSet& d) {
  adminSql(d.db, "UPDATE expenses.moves SET islendi = 0");
  for (int i = 0; i < 500; ++i) {
    std::string status = adminSql(d.db, "SHOW GLOBAL STATUS LIKE 'Innodb_history_list_length'");
    if (status.size() >= 2 && status.compare(status.size() - 2, 2, "\t0") == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A job of kestrune-bench-case; it prints its own time and peak memory.
AgentRun runJob(Case& c, const std::string& statements) {
  if (c.resetMarks) resetMarks(*c.data);
  ProcessSpec s;
  s.argv = {options.caseProgram, c.job};
  if (c.data->fixedClock) {
    s.argv.push_back("--now");
    s.argv.push_back(std::to_string(salesClock()));
  }
  if (!statements.empty()) {
    s.argv.push_back("--statements");
    s.argv.push_back(statements);
  }
  if (c.uploads > 0) {
    s.argv.push_back("--uploads");
    s.argv.push_back(std::to_string(c.uploads));
  }
  s.env = agentEnvironment(*c.data);
  if (c.ftp == Case::Ftp::kTls) s.env["XDG_CONFIG_HOME"] = c.data->tlsConfig;
  if (c.ftp == Case::Ftp::kTlsServerPlain) s.env["XDG_CONFIG_HOME"] = c.data->offConfig;
  if (c.ftp == Case::Ftp::kLine) s.env["XDG_CONFIG_HOME"] = c.data->lineConfig;
  if (c.ftp == Case::Ftp::kLineTls) s.env["XDG_CONFIG_HOME"] = c.data->lineTlsConfig;
  // The closed periods' final reports of the last run would be kept.
  if (c.job == "daily-closed")
    test::shell("rm -f " + quote(options.work) + "/ftp*/httpdocs/customer_yedek/*/*_gunluk_*2* " +
                quote(options.work) + "/ftp*/httpdocs/customer_yedek/*/*_aylik_*2*");
  LineCount before = lineCount(c.ftp == Case::Ftp::kLineTls);
  std::string log = options.work + "/logs/" + c.id + ".log";
  s.errors = log;
  int out = -1;
  pid_t pid = startProcess(s, &out);
  std::string text = test::readAll(out);
  int code = waitForExit(pid);
  AgentRun run;
  double cpu = 0;
  if (code != 0 || std::sscanf(text.c_str(), "seconds %lf cpu %lf peak_kb %ld", &run.seconds, &cpu,
                               &run.peakKb) != 3)
    fail("the agent's " + c.id + " run failed (exit " + std::to_string(code) + "): " + text +
         fileTail(log, 10));
  size_t slow = text.find(" slow ");
  if (slow != std::string::npos) run.slow = std::atoi(text.c_str() + slow + 6);
  if (overTheLine(c)) {
    LineCount after = lineCount(c.ftp == Case::Ftp::kLineTls);
    run.roundTrips = after.connections - before.connections + after.turns - before.turns;
  }
  return run;
}

// Start-up to the first report: the real agent with the demo data, until the
// FTP server has logged the finished upload of its daily report.
AgentRun runStartup(Case& c, const FtpServer& ftp) {
  std::string hash = adminSql(c.data->db, "SELECT raporlamahash FROM company.maininfo LIMIT 1");
  std::string remote = ftp.root + "/httpdocs/customer_yedek/demo/" + hash + "_gunluk.html";
  std::string needle = "STOR " + remote + " completed=1";
  for (int attempt = 0;; ++attempt) {
    ::unlink(remote.c_str());
    std::ifstream log(ftp.log, std::ios::binary);
    log.seekg(0, std::ios::end);
    std::string fresh;  // what the FTP server logged since the start
    ProcessSpec s;
    s.argv = {options.agentProgram};
    s.env = agentEnvironment(*c.data);
    s.output = options.work + "/logs/startup.out";
    s.errors = options.work + "/logs/startup.log";
    double start = clockSeconds();
    pid_t pid = startProcess(s);
    AgentRun run;
    bool arrived = false;
    int code = -1;
    while (clockSeconds() - start < 120) {
      char buffer[4096];
      log.clear();
      while (log.read(buffer, sizeof buffer) || log.gcount() > 0) {
        fresh.append(buffer, static_cast<size_t>(log.gcount()));
        if (log.eof()) break;
      }
      if (fresh.find(needle) != std::string::npos) {
        run.seconds = clockSeconds() - start;
        arrived = true;
        break;
      }
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      ::usleep(10000);
    }
    if (arrived) {
      std::string status = test::readFile("/proc/" + std::to_string(pid) + "/status");
      size_t at = status.find("VmHWM:");
      if (at != std::string::npos) run.peakKb = std::atol(status.c_str() + at + 6);
      ::kill(pid, SIGTERM);
      waitForExit(pid);
      return run;
    }
    if (code < 0) {
      ::kill(pid, SIGKILL);
      waitForExit(pid);
      fail("no daily report within 120 s of the agent's start: " + fileTail(s.errors, 10));
    }
    // 1: another kestrune runs on this machine (the agent runs once per machine).
    if (code != 1 || attempt >= 30)
      fail("the agent ended with exit code " + std::to_string(code) + ": " +
           fileTail(s.errors, 10));
    if (attempt == 0) std::printf("    (another kestrune runs on this machine; waiting for it)\n");
    std::this_thread::sleep_for(std::chrono::seconds(2));
  }
}

std::vector<std::string> clientCommand(const Database& db) {
  return {"mariadb",
          "--no-defaults",
          "--batch",
          "--quick",
          "--default-character-set=utf8mb4",
          "-h",
          db.address,
          "-P",
          "3306",
          "-uroot",
          std::string("-p") + kPassword};
}

}  // namespace

std::vector<Case> defineCases(std::vector<DataSet>& data, const Sizes& sizes, bool smoke,
                              int repeats) {
  auto set = [&data](const std::string& name) { return dataSetNamed(data, name); };
  auto yearMoves = [](const DataSet& d) {
    return std::atoll(adminSql(d.db,
                               "SELECT COUNT(*) FROM expenses.moves "
                               "WHERE YEAR(donem) = YEAR(CURRENT_DATE())")
                          .c_str());
  };
  auto notes = [](const DataSet& d) {
    return std::atoll(adminSql(d.db, "SELECT COUNT(*) FROM expenses.notes").c_str());
  };
  auto salesRows = [](long items, long receipts, long productCount) {
    return grouped(items) + " items, " + grouped(receipts) + " receipts" +
           (productCount ? ", " + grouped(productCount) + " products" : std::string());
  };
  auto exportRows = [&](const DataSet& d) {
    return grouped(yearMoves(d)) + " moves, " + grouped(notes(d)) + " notes";
  };
  const std::string dailyRows = salesRows(sizes.dailyItems, sizes.dailyReceipts, 0);

  std::vector<Case> cases;
  auto add = [&cases, repeats](const std::string& id, const std::string& label,
                               const std::string& job, DataSet* d, const std::string& rows) {
    Case c;
    c.id = id;
    c.label = label;
    c.job = job;
    c.data = d;
    c.rows = rows;
    c.repeats = repeats;
    cases.push_back(c);
    return &cases.back();
  };
  cases.reserve(32);  // add() hands out pointers into it
  const std::string largeRows = salesRows(sizes.largeItems, sizes.largeReceipts, sizes.products);
  // The daily and monthly runs make their owner's page after the report (its
  // reads, its build, its upload); its statements are in the floor with the
  // report's.
  add("daily", "daily report with its owner's page", "daily", set("daily"), dailyRows);
  add("daily-tls-plain", "daily report with its owner's page, pure-ftpd plain", "daily",
      set("daily"), dailyRows)
      ->ftp = Case::Ftp::kTlsServerPlain;
  add("daily-tls", "daily report with its owner's page, pure-ftpd over TLS", "daily", set("daily"),
      dailyRows)
      ->ftp = Case::Ftp::kTls;
  add("monthly-small", "monthly report with its owner's page", "monthly", set("month-small"),
      salesRows(sizes.smallItems, sizes.smallReceipts, sizes.products));
  add("monthly-large", "monthly report with its owner's page", "monthly", set("month-large"),
      largeRows);
  add("stock-lists", "stock lists, read again by a run", "stock-lists", set("month-small"),
      grouped(sizes.products) + " products");
  // The page built from its figures alone (no database), after the report
  // of the same data.
  add("daily-page", "owner's page built from its figures", "daily-page", set("daily"), dailyRows)
      ->floor = false;
  add("monthly-page", "owner's page built from its figures", "monthly-page", set("month-large"),
      largeRows)
      ->floor = false;
  add("export-1x", "expense export", "export", set("export-1x"), exportRows(*set("export-1x")))
      ->resetMarks = true;
  // The daily report's upload alone, to the same pure-ftpd plain and over
  // TLS: the difference is what TLS adds to a daily run.
  for (Case::Ftp server : {Case::Ftp::kTlsServerPlain, Case::Ftp::kTls}) {
    bool tls = server == Case::Ftp::kTls;
    Case* c = add(tls ? "daily-upload-tls" : "daily-upload-plain",
                  tls ? "daily report's upload, pure-ftpd over TLS"
                      : "daily report's upload, pure-ftpd plain",
                  "daily-upload", set("daily"), "one document");
    c->ftp = server;
    c->floor = false;
  }
  for (Case::Ftp server : {Case::Ftp::kTlsServerPlain, Case::Ftp::kTls}) {
    bool tls = server == Case::Ftp::kTls;
    Case* c = add(tls ? "export-1x-tls" : "export-1x-tls-plain",
                  tls ? "expense export, pure-ftpd over TLS" : "expense export, pure-ftpd plain",
                  "export", set("export-1x"), exportRows(*set("export-1x")));
    c->resetMarks = true;
    c->ftp = server;
  }
  add("export-2x", "expense export", "export", set("export-2x"), exportRows(*set("export-2x")))
      ->resetMarks = true;
  add("mark-batch", "marking, one connection", "mark-batch", set("export-1x"),
      grouped(yearMoves(*set("export-1x"))) + " moves")
      ->resetMarks = true;
  Case* perRow = add("mark-per-row", "marking, connection per row", "mark-per-row",
                     set("export-1x"), grouped(yearMoves(*set("export-1x"))) + " moves");
  perRow->resetMarks = true;
  perRow->floor = false;
  perRow->repeats = std::min(repeats, 3);
  Case* startup = add("startup", "start-up to first report", "startup", set("demo"),
                      "demo data (pos-demo-data.py defaults)");
  startup->floor = false;
  // A month away: the 31 closed days caught up, against a daily run on the same data.
  add("daily-demo", "daily report with its owner's page", "daily", set("demo"),
      "demo data (pos-demo-data.py defaults)")
      ->floor = false;
  add("closed-days", "31 closed days caught up with their owner's pages", "closed-days",
      set("demo"), "demo data (pos-demo-data.py defaults)")
      ->floor = false;
  // Over a line with a round trip: what one session per run costs there.
  const std::string line = ", " + std::to_string(kLineRttMs) + " ms line";
  const std::string demoRows = "demo data (pos-demo-data.py defaults)";
  for (Case::Ftp server : {Case::Ftp::kLine, Case::Ftp::kLineTls}) {
    bool tls = server == Case::Ftp::kLineTls;
    std::string over = line + (tls ? " over TLS" : "");
    Case* c = add(tls ? "daily-line-tls" : "daily-line",
                  "daily report with its owner's page" + over, "daily", set("daily"), dailyRows);
    c->ftp = server;
    c->files = 2;
    c = add(tls ? "closed-line-tls" : "closed-line",
            "daily run with its closed day and month" + over, "daily-closed", set("demo"),
            demoRows);
    c->ftp = server;
    c->files = 6;
    c->checks = 2;
    c = add(tls ? "images-line-tls" : "images-line",
            "expense export with " + grouped(sizes.images) + " new images" + over, "export",
            set("export-images"), grouped(sizes.images) + " images of this year's moves");
    c->ftp = server;
    c->files = static_cast<int>(sizes.images) + 1;
    c->resetMarks = true;
    c->repeats = 1;
  }
  // The upload loop must never sleep a whole poll time-out (see case.cc).
  const int uploadCount = smoke ? 50 : 10000;
  Case* uploads = add("uploads", "repeated uploads", "uploads", set("daily"),
                      grouped(uploadCount) + " uploads of 50 KB");
  uploads->floor = false;
  uploads->repeats = 1;
  uploads->uploads = uploadCount;
  // Cases of well under a second run three times a round: more samples
  // against the noise of a shared machine; the daily pair whose difference
  // is TLS's cost (a few milliseconds) six times.
  if (!smoke) {
    for (Case& c : cases) {
      if (c.id == "daily-tls" || c.id == "daily-tls-plain")
        c.perRound = 6;
      else if (c.id == "daily-upload-tls" || c.id == "daily-upload-plain" || c.id == "daily-page")
        c.perRound = 10;
      else if (c.id == "daily" || c.id == "stock-lists" || c.id == "export-1x" ||
               c.id == "export-1x-tls" || c.id == "export-1x-tls-plain" || c.id == "export-2x" ||
               c.id == "mark-batch" || c.id == "startup" || c.id == "daily-demo" ||
               c.id == "monthly-page")
        c.perRound = 3;
    }
  }
  return cases;
}

bool overTheLine(const Case& c) {
  return c.ftp == Case::Ftp::kLine || c.ftp == Case::Ftp::kLineTls;
}

double floorRoundTrips(const Case& c) {
  bool tls = c.ftp == Case::Ftp::kLineTls;
  return (tls ? 9.5 : 5.5) + c.files * (tls ? 4 : 3) + c.checks;
}

const Case& caseNamed(const std::vector<Case>& cases, const std::string& id) {
  for (const Case& c : cases)
    if (c.id == id) return c;
  fail("no case " + id);
}

bool recordsStatements(const Case& c) {
  return c.job != "startup" && c.job != "mark-per-row" && c.job != "uploads" &&
         c.job != "daily-upload";
}

AgentRun runAgentCase(Case& c, const FtpServer& ftp, const std::string& statements) {
  return c.job == "startup" ? runStartup(c, ftp) : runJob(c, statements);
}

double runFloor(Case& c, const std::string& script) {
  if (c.resetMarks) resetMarks(*c.data);
  ProcessSpec s;
  s.argv = clientCommand(c.data->db);
  s.input = script;
  s.output = "/dev/null";
  std::string log = options.work + "/logs/" + c.id + "-floor.log";
  s.errors = log;
  double start = clockSeconds();
  int code = waitForExit(startProcess(s));
  double seconds = clockSeconds() - start;
  if (code != 0) fail("the client failed on " + script + ": " + fileTail(log, 5));
  return seconds;
}

std::string clientDigest(const Database& db, const std::string& script) {
  return trimmed(test::shell(
      "mariadb --no-defaults --batch --quick --default-character-set=utf8mb4 -h " +
      quote(db.address) + " -P 3306 -uroot -p" + kPassword + " < " + quote(script) + " | md5sum"));
}

}  // namespace kestrune::bench
