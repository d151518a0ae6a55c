// kestrune-bench: the agent's speed and memory next to the database's own
// floor, measured in one run on this machine. Started by tools/bench.
//
//   kestrune-bench [--smoke] [--repeats N] [--base A.B.C] [--work DIR] [--csv FILE]
//
// It starts one private MariaDB per data set (tools/mariadb-server) on the
// loopback addresses A.B.C.1 and up, an FTP server (tools/ftp-server.py)
// on A.B.C.1:2121 and one that offers TLS (pure-ftpd) on A.B.C.1:2131,
// seeds the databases with tools/pos-demo-data.py and then
// runs every case N times, interleaved: the agent's run function in a
// process of its own (kestrune-bench-case, which also reports its peak
// memory), and the floor, the mariadb command-line client running the very
// statements the agent sent (recorded on a first run) with its output going
// to /dev/null, once in the server's default session and once with the
// session settings the agent uses. The table shows medians; it is also
// written as CSV. --smoke runs every case once on tiny data and judges no
// times (CI runs it so that the benchmark keeps working).
#include "tools/benchmark/bench.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/relay.h"
#include "tools/benchmark/cases.h"
#include "tools/benchmark/table.h"
#include "tools/benchmark/targets.h"

namespace kestrune::bench {

Options options;
const char kPassword[] = "K_plom_R";
const char kSalesNow[] = "2025-03-28 14:00:00";
const int kLineRttMs = 40;

namespace {

using test::fileTail;
using test::quote;
using test::shell;

const int kFtpPort = 2121;
const int kFtpsPort = 2131;
const char kFtpsUser[] = "lokanta42";
const char kFtpsPassword[] = "Gizli-Sifre-42";

double clockSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void writeFile(const std::string& path, const std::string& text) {
  if (!test::writeFile(path, text)) fail("cannot write " + path);
}

// ---------------------------------------------------------------------------
// Servers

// The folders of the databases started, by value: the data sets may be gone
// when a failure stops everything.
std::vector<std::string> runningDatabases;
pid_t ftpPid = 0, ftpsPid = 0;
test::DelayRelay plainLine, tlsLine;

void stopEverything() {
  plainLine.stop();
  tlsLine.stop();
  for (pid_t* pid : {&ftpPid, &ftpsPid}) {
    if (*pid <= 0) continue;
    ::kill(*pid, SIGTERM);
    test::waitForExit(*pid);
    *pid = 0;
  }
  for (const std::string& dir : runningDatabases) {
    // Best effort: this runs on the way out, also after a failure.
    if (std::system(
            (quote(options.source + "/tools/mariadb-server") + " stop " + quote(dir)).c_str()) != 0)
      std::fprintf(stderr, "kestrune-bench: could not stop the server in %s\n", dir.c_str());
  }
  runningDatabases.clear();
}

void startDatabase(Database& db) {
  shell(quote(options.source + "/tools/mariadb-server") + " start " + quote(db.dir) + " " +
        quote(db.address) + " >/dev/null");
  db.running = true;
  runningDatabases.push_back(db.dir);
}

FtpServer startFtp(const std::string& address, const std::string& dir) {
  FtpServer ftp{address, dir + "/ftp", dir + "/ftp.log"};
  int first = 40000 + (kFtpPort % 100) * 40;
  test::ProcessSpec s;
  s.argv = {"/usr/bin/python3",
            options.source + "/tools/ftp-server.py",
            "--root",
            ftp.root,
            "--address",
            address,
            "--port",
            std::to_string(kFtpPort),
            "--passive",
            std::to_string(first) + "-" + std::to_string(first + 39),
            "--log",
            ftp.log,
            "--folder",
            "demo"};
  s.errors = dir + "/ftp.err";
  int out = -1;
  ftpPid = test::startProcess(s, &out);
  std::string line;
  char c;
  while (::read(out, &c, 1) == 1 && c != '\n') line += c;
  ::close(out);
  if (line != "ready") fail("the FTP server did not start: " + fileTail(s.errors, 5));
  return ftp;
}

// pure-ftpd offering TLS on control and data (the TLS rows use it with
// ftptls=try, their plain twins with ftptls=off), with an ECDSA P-256
// certificate (the key type certificate tools now issue by default).
void startFtps(const std::string& address, const std::string& dir) {
  int first = 40000 + (kFtpsPort % 100) * 40;
  test::ProcessSpec s;
  s.argv = {options.source + "/tools/ftps-server",
            dir + "/ftps",
            address,
            std::to_string(kFtpsPort),
            "1",
            std::to_string(first) + ":" + std::to_string(first + 39),
            "ec"};
  s.env = {{"KESTRUNE_FTPS_USER", kFtpsUser}, {"KESTRUNE_FTPS_PASSWORD", kFtpsPassword}};
  s.errors = dir + "/ftps.err";
  ftpsPid = test::startProcess(s);
  // It stays in the foreground; ready when its port answers.
  for (int i = 0; i < 250; ++i) {
    std::string probe = "exec 3<>/dev/tcp/" + address + "/" + std::to_string(kFtpsPort);
    if (std::system(("bash -c " + quote(probe) + " 2>/dev/null").c_str()) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  fail("pure-ftpd did not start: " + fileTail(s.errors, 5));
}

// The line in front of both FTP servers, on its own address.
std::string startLines(const std::string& ftpAddress) {
  std::string address = options.base + ".200";
  plainLine.start(address, ftpAddress, kFtpPort, kLineRttMs);
  tlsLine.start(address, ftpAddress, kFtpsPort, kLineRttMs);
  return address;
}

// ---------------------------------------------------------------------------
// The run

int usage() {
  std::fputs(
      "usage: kestrune-bench [--smoke] [--repeats N] [--base A.B.C] [--work DIR] "
      "[--csv FILE] [--only ID,ID...]\n",
      stderr);
  return 2;
}

void onSignal(int) {
  stopEverything();
  ::_exit(130);
}

// The data sets and how much each holds; the generator puts one in 25
// expense movements into last year, the export reads this year's.
std::vector<DataSet> dataSets(const Sizes& n) {
  auto lastYearToo = [](long count) { return std::to_string(count * 25 / 24); };
  std::vector<DataSet> data;
  auto dataSet = [&data](const std::string& name, std::vector<std::string> generator,
                         bool fixedClock) {
    DataSet d;
    d.name = name;
    d.generator = std::move(generator);
    d.fixedClock = fixedClock;
    data.push_back(d);
  };
  dataSet("daily",
          {"--days", "1", "--now", kSalesNow, "--receipts", std::to_string(n.dailyReceipts),
           "--items", std::to_string(n.dailyItems), "--expenses", "0", "--notes", "0"},
          true);
  dataSet("month-small",
          {"--month", "--now", kSalesNow, "--receipts", std::to_string(n.smallReceipts), "--items",
           std::to_string(n.smallItems), "--products", std::to_string(n.products), "--expenses",
           "0", "--notes", "0"},
          true);
  dataSet("month-large",
          {"--month", "--now", kSalesNow, "--receipts", std::to_string(n.largeReceipts), "--items",
           std::to_string(n.largeItems), "--products", std::to_string(n.products), "--expenses",
           "0", "--notes", "0"},
          true);
  dataSet("export-1x",
          {"--days", "1", "--receipts", "10", "--expenses", lastYearToo(n.moves), "--notes",
           std::to_string(n.moves)},
          false);
  dataSet("export-2x",
          {"--days", "1", "--receipts", "10", "--expenses", lastYearToo(2 * n.moves), "--notes",
           std::to_string(2 * n.moves)},
          false);
  dataSet("demo", {}, false);
  // Receipt images, one for each of this year's movements.
  dataSet("export-images",
          {"--days", "1", "--receipts", "10", "--expenses", lastYearToo(n.images), "--notes", "0",
           "--image-share", "1", "--images", options.work + "/root-export-images/giderler"},
          false);
  return data;
}

// Each data set's MariaDB started and seeded, and the agent's settings for
// it: uploads to pyftpdlib, and to pure-ftpd over TLS and plain.
void startAndSeed(std::vector<DataSet>& data, const std::string& ftpAddress,
                  const std::string& lineAddress) {
  int host = 1;
  for (DataSet& d : data) {
    d.db.name = d.name;
    d.db.address = options.base + "." + std::to_string(host++);
    d.db.dir = options.work + "/db-" + d.name;
    d.root = options.work + "/root-" + d.name;
    d.config = options.work + "/config-" + d.name;
    test::createFolderTree(d.config + "/Ostrelian");
    writeFile(d.config + "/Ostrelian/Melrova.ini",
              "[Server]\nipno=" + d.db.address + "\nftphost=" + ftpAddress + ":" +
                  std::to_string(kFtpPort) + "\nroot=" + d.root + "\n");
    d.tlsConfig = d.config + "-tls";
    d.offConfig = d.config + "-off";
    d.lineConfig = d.config + "-line";
    d.lineTlsConfig = d.config + "-line-tls";
    // Plain FTP over the line is ftptls=off: with `try` a server without TLS
    // costs two refused AUTH commands first.
    test::createFolderTree(d.lineConfig + "/Ostrelian");
    writeFile(d.lineConfig + "/Ostrelian/Melrova.ini",
              "[Server]\nipno=" + d.db.address + "\nftphost=" + lineAddress + ":" +
                  std::to_string(kFtpPort) + "\nftptls=off\nroot=" + d.root + "\n");
    for (const std::string& config : {d.tlsConfig, d.offConfig, d.lineTlsConfig}) {
      test::createFolderTree(config + "/Ostrelian");
      writeFile(config + "/Ostrelian/Melrova.ini",
                "[Server]\nipno=" + d.db.address +
                    "\nftphost=" + (config == d.lineTlsConfig ? lineAddress : ftpAddress) + ":" +
                    std::to_string(kFtpsPort) + "\nftpuser=" + kFtpsUser + "\nftppassword=" +
                    kFtpsPassword + "\nftptls=" + (config == d.offConfig ? "off" : "try") +
                    "\nroot=" + d.root + "\n");
      ::chmod((config + "/Ostrelian/Melrova.ini").c_str(), 0600);
    }
    double start = clockSeconds();
    startDatabase(d.db);
    std::string args;
    for (const std::string& a : d.generator) args += " " + quote(a);
    shell("/usr/bin/python3 " + quote(options.source + "/tools/pos-demo-data.py") + args +
          " | mariadb --no-defaults -S " + quote(d.db.dir + "/sock") + " -uroot");
    std::printf("  %-12s MariaDB on %s, seeded in %.1f s (pos-demo-data.py%s)\n", d.name.c_str(),
                d.db.address.c_str(), clockSeconds() - start, args.c_str());
    std::fflush(stdout);
  }
}

// A first run of each case records the statements and warms the servers;
// the reports' rows are compared between both sessions.
void recordStatements(std::vector<Case>& cases, const FtpServer& ftp) {
  std::printf("Recording the agent's statements (one run of each case)\n");
  std::fflush(stdout);
  for (Case& c : cases) {
    if (!recordsStatements(c)) continue;
    c.scripts = options.work + "/sql/" + c.id;
    runAgentCase(c, ftp, c.scripts);
  }
  for (Case& c : cases) {
    if (c.job != "daily" && c.job != "monthly") continue;
    c.identical = clientDigest(c.data->db, c.scripts + "-default.sql") ==
                          clientDigest(c.data->db, c.scripts + "-session.sql")
                      ? "yes"
                      : "NO";
  }
}

// The rounds: in each, every case's runs with their floors. Returns what
// the client alone costs (start, connect, SELECT 1, exit), run on `probe`.
Samples runRounds(std::vector<Case>& cases, int repeats, const FtpServer& ftp, DataSet* probe) {
  Samples clientAlone;
  writeFile(options.work + "/sql/select1.sql", "SELECT 1;\n");
  for (int r = 0; r < repeats; ++r) {
    std::printf("Round %d of %d\n", r + 1, repeats);
    std::fflush(stdout);
    {
      Case select1;
      select1.id = "select1";
      select1.data = probe;
      clientAlone.add(runFloor(select1, options.work + "/sql/select1.sql"));
    }
    for (Case& c : cases) {
      if (r >= c.repeats) continue;
      // The order of agent and floors turns from run to run.
      for (int k = 0; k < 3 * c.perRound; ++k) {
        int which = (k + r + k / 3) % 3;
        if (which == 0) {
          AgentRun run = runAgentCase(c, ftp);
          c.agent.add(run.seconds);
          if (run.roundTrips >= 0) c.roundTrips.add(run.roundTrips);
          c.peakKb = std::max(c.peakKb, run.peakKb);
          c.slow += run.slow;
        } else if (c.floor && which == 1) {
          c.floorDefault.add(runFloor(c, c.scripts + "-default.sql"));
        } else if (c.floor && which == 2) {
          c.floorSession.add(runFloor(c, c.scripts + "-session.sql"));
        }
      }
      std::printf("  %-14s agent %8.3f s", c.id.c_str(), c.agent.values.back());
      if (c.floor)
        std::printf("   floor %8.3f s (default session)  %8.3f s (agent's session)",
                    c.floorDefault.values.back(), c.floorSession.values.back());
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  return clientAlone;
}

int runBenchmark() {
  const bool smoke = options.smoke;
  const int repeats = smoke ? 1 : options.repeats;
  shell("rm -rf " + quote(options.work));
  for (const char* f : {"", "/logs", "/home", "/run", "/sql"})
    test::createFolderTree(options.work + f);
  ::chmod((options.work + "/run").c_str(), 0700);

  Sizes sizes;
  sizes.dailyItems = smoke ? 300 : 30000;
  sizes.dailyReceipts = smoke ? 30 : 3000;
  sizes.smallItems = smoke ? 1000 : 250000;
  sizes.smallReceipts = smoke ? 100 : 25000;
  sizes.largeItems = smoke ? 4000 : 1000000;
  sizes.largeReceipts = smoke ? 400 : 100000;
  sizes.products = smoke ? 100 : 10000;
  sizes.moves = smoke ? 200 : 20000;
  sizes.images = smoke ? 10 : 200;
  std::vector<DataSet> data = dataSets(sizes);

  std::printf("Kestrune benchmark%s: work folder %s\n",
              smoke ? " (smoke: tiny data, times not judged)" : "", options.work.c_str());
  std::string ftpAddress = options.base + ".1";
  FtpServer ftp = startFtp(ftpAddress, options.work);
  startFtps(ftpAddress, options.work);
  startAndSeed(data, ftpAddress, startLines(ftpAddress));

  std::vector<Case> cases = defineCases(data, sizes, smoke, repeats);
  if (!options.only.empty()) {
    for (const std::string& id : options.only) caseNamed(cases, id);  // fails on an unknown one
    cases.erase(std::remove_if(cases.begin(), cases.end(),
                               [](const Case& c) {
                                 return std::find(options.only.begin(), options.only.end(), c.id) ==
                                        options.only.end();
                               }),
                cases.end());
  }
  recordStatements(cases, ftp);
  Samples clientAlone = runRounds(cases, repeats, ftp, dataSetNamed(data, "daily"));
  stopEverything();

  printTable(cases, repeats, clientAlone.median());
  printLineTable(cases);
  writeCsv(cases, options.csv.empty() ? options.work + "/bench.csv" : options.csv);
  bool identical = true;
  for (const Case& c : cases) identical = identical && c.identical != "NO";
  if (smoke) {
    std::printf("\nSmoke run: every case ran; times are not judged.\n");
    return identical ? 0 : 1;
  }
  if (options.only.empty()) printTargets(cases, sizes);
  return identical ? 0 : 1;
}

}  // namespace

std::string adminSql(const Database& db, const std::string& statement) {
  return trimmed(
      shell("mariadb --no-defaults --batch --skip-column-names "
            "--default-character-set=utf8mb4 -S " +
            quote(db.dir + "/sock") + " -uroot -e " + quote(statement)));
}

LineCount lineCount(bool tls) {
  test::DelayRelay& line = tls ? tlsLine : plainLine;
  return {line.connections(), line.turns()};
}

DataSet* dataSetNamed(std::vector<DataSet>& data, const std::string& name) {
  for (DataSet& d : data)
    if (d.name == name) return &d;
  fail("no data set " + name);
}

}  // namespace kestrune::bench

int main(int argc, char** argv) {
  using namespace kestrune::bench;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a);
      return argv[++i];
    };
    try {
      if (a == "--smoke")
        options.smoke = true;
      else if (a == "--repeats")
        options.repeats = std::max(1, std::atoi(value().c_str()));
      else if (a == "--base")
        options.base = value();
      else if (a == "--work")
        options.work = value();
      else if (a == "--csv")
        options.csv = value();
      else if (a == "--only") {
        std::string list = value();
        for (size_t at = 0; at <= list.size();) {
          size_t comma = std::min(list.find(',', at), list.size());
          if (comma > at) options.only.push_back(list.substr(at, comma - at));
          at = comma + 1;
        }
      } else
        return usage();
    } catch (const std::invalid_argument&) {
      return usage();
    }
  }
  if (options.base.compare(0, 4, "127.") != 0) {
    std::fprintf(stderr, "kestrune-bench: --base must be a loopback prefix (127.x.y)\n");
    return 2;
  }
  ::setenv("TZ", "Europe/Istanbul", 0);
  ::tzset();
  ::signal(SIGINT, onSignal);
  ::signal(SIGTERM, onSignal);
  try {
    int code = runBenchmark();
    stopEverything();
    return code;
  } catch (const std::exception& e) {
    stopEverything();
    std::fprintf(stderr, "kestrune-bench: %s\n", e.what());
    return 1;
  }
}
