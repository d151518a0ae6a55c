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
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kPassword[] = "K_plom_R";
const int kFtpPort = 2121;
const int kFtpsPort = 2131;
const char kFtpsUser[] = "lokanta42";
const char kFtpsPassword[] = "Gizli-Sifre-42";
// The sales data sets hold a fixed month; the agent's clock is put there.
const char kSalesNow[] = "2025-03-28 14:00:00";

struct Options {
  bool smoke = false;
  int repeats = 5;
  std::string base = "127.0.5";
  std::string work = KESTRUNE_BENCH_BINARY_DIR "/bench-run";
  std::string csv;
  std::string source = KESTRUNE_BENCH_SOURCE_DIR;
  std::string caseProgram = KESTRUNE_BENCH_CASE_PROGRAM;
  std::string agentProgram = KESTRUNE_BENCH_AGENT_PROGRAM;
};

Options options;

// ---------------------------------------------------------------------------
// Processes

double clockSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

[[noreturn]] void fail(const std::string& text) { throw std::runtime_error(text); }

// Runs a shell command and returns its standard output; fails on a non-zero exit.
std::string shell(const std::string& command) {
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) fail("cannot run " + command);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = ::pclose(p);
  if (status != 0) fail("failed (status " + std::to_string(status) + "): " + command);
  return out;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc | std::ios::binary);
  out << text;
  if (!out) fail("cannot write " + path);
}

void makeFolder(const std::string& path) { shell("mkdir -p " + quote(path)); }

std::string tail(const std::string& path, int lines) {
  try {
    return shell("tail -n " + std::to_string(lines) + " " + quote(path) + " 2>/dev/null");
  } catch (const std::exception&) {
    return std::string();
  }
}

struct Spawn {
  std::vector<std::string> argv;
  std::map<std::string, std::string> env;  // set in the child
  std::string input = "/dev/null";
  std::string output;                // a file; empty: a pipe read by the caller
  std::string errors = "/dev/null";  // appended
};

// Starts a process; `pipeOut` receives the read end of its standard output
// when Spawn::output is empty. The child dies with this program.
pid_t spawn(const Spawn& s, int* pipeOut = nullptr) {
  int fds[2] = {-1, -1};
  if (s.output.empty() && ::pipe(fds) != 0) fail("pipe");
  pid_t child = ::fork();
  if (child < 0) fail("fork");
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    int in = ::open(s.input.c_str(), O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    if (s.output.empty()) {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      ::close(fds[1]);
    } else {
      int out = ::open(s.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) ::dup2(out, 1);
    }
    int err = ::open(s.errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (err >= 0) ::dup2(err, 2);
    for (const auto& [name, value] : s.env) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : s.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  if (s.output.empty()) {
    ::close(fds[1]);
    if (pipeOut) *pipeOut = fds[0];
  }
  return child;
}

std::string readAll(int fd) {
  std::string out;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ---------------------------------------------------------------------------
// Servers

struct Database {
  std::string name;
  std::string address;
  std::string dir;
  bool running = false;
};

std::vector<Database*> runningDatabases;
pid_t ftpPid = 0, ftpsPid = 0;

void stopEverything() {
  for (pid_t* pid : {&ftpPid, &ftpsPid}) {
    if (*pid <= 0) continue;
    ::kill(*pid, SIGTERM);
    waitFor(*pid);
    *pid = 0;
  }
  for (Database* db : runningDatabases) {
    if (!db->running) continue;
    // Best effort: this runs on the way out, also after a failure.
    if (std::system((quote(options.source + "/tools/mariadb-server") + " stop " + quote(db->dir))
                        .c_str()) != 0)
      std::fprintf(stderr, "kestrune-bench: could not stop the server in %s\n", db->dir.c_str());
    db->running = false;
  }
  runningDatabases.clear();
}

void startDatabase(Database& db) {
  shell(quote(options.source + "/tools/mariadb-server") + " start " + quote(db.dir) + " " +
        quote(db.address) + " >/dev/null");
  db.running = true;
  runningDatabases.push_back(&db);
}

// Administration over the server's socket (not measured).
std::string adminSql(const Database& db, const std::string& statement) {
  return trimmed(
      shell("mariadb --no-defaults --batch --skip-column-names "
            "--default-character-set=utf8mb4 -S " +
            quote(db.dir + "/sock") + " -uroot -e " + quote(statement)));
}

struct FtpServer {
  std::string address;
  std::string root;
  std::string log;
};

FtpServer startFtp(const std::string& address, const std::string& dir) {
  FtpServer ftp{address, dir + "/ftp", dir + "/ftp.log"};
  int first = 40000 + (kFtpPort % 100) * 40;
  Spawn s;
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
  ftpPid = spawn(s, &out);
  std::string line;
  char c;
  while (::read(out, &c, 1) == 1 && c != '\n') line += c;
  ::close(out);
  if (line != "ready") fail("the FTP server did not start: " + tail(s.errors, 5));
  return ftp;
}

// pure-ftpd offering TLS on control and data (the TLS rows use it with
// ftptls=try, their plain twins with ftptls=off), with an ECDSA P-256
// certificate (the key type certificate tools now issue by default).
void startFtps(const std::string& address, const std::string& dir) {
  int first = 40000 + (kFtpsPort % 100) * 40;
  Spawn s;
  s.argv = {options.source + "/tools/ftps-server",
            dir + "/ftps",
            address,
            std::to_string(kFtpsPort),
            "1",
            std::to_string(first) + ":" + std::to_string(first + 39),
            "ec"};
  s.env = {{"KESTRUNE_FTPS_USER", kFtpsUser}, {"KESTRUNE_FTPS_PASSWORD", kFtpsPassword}};
  s.errors = dir + "/ftps.err";
  ftpsPid = spawn(s);
  // It stays in the foreground; ready when its port answers.
  for (int i = 0; i < 250; ++i) {
    std::string probe = "exec 3<>/dev/tcp/" + address + "/" + std::to_string(kFtpsPort);
    if (std::system(("bash -c " + quote(probe) + " 2>/dev/null").c_str()) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  fail("pure-ftpd did not start: " + tail(s.errors, 5));
}

// ---------------------------------------------------------------------------
// Data sets and cases

struct DataSet {
  std::string name;
  std::vector<std::string> generator;  // pos-demo-data.py arguments
  bool fixedClock = false;             // the agent's clock at kSalesNow
  Database db;
  std::string config;     // XDG_CONFIG_HOME with the agent's settings for this database
  std::string tlsConfig;  // the same, uploading to pure-ftpd over TLS (ftptls=try)
  std::string offConfig;  // the same, uploading to pure-ftpd in plain FTP (ftptls=off)
  std::string root;       // the agent's local folder
};

struct Samples {
  std::vector<double> values;
  void add(double v) { values.push_back(v); }
  double median() const {
    if (values.empty()) return -1;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
};

struct Case {
  std::string id;
  std::string label;
  std::string job;  // kestrune-bench-case job, or "startup"
  DataSet* data = nullptr;
  bool floor = true;
  bool resetMarks = false;
  int repeats = 1;
  int perRound = 1;  // short cases run several times a round, each time with their floors
  int uploads = 0;   // the "uploads" job: how many
  int slow = 0;      // of those, the ones that took 0.9 s or more
  std::string rows;
  Samples agent, floorDefault, floorSession;
  long peakKb = 0;
  std::string scripts;          // prefix of the recorded statements
  std::string identical = "-";  // rows of both sessions the same
  // Where it uploads: pyftpdlib, or pure-ftpd over TLS or plain (the pair
  // that tells what TLS costs).
  enum class Ftp { kPyftpdlib, kTls, kTlsServerPlain } ftp = Ftp::kPyftpdlib;
};

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

struct AgentRun {
  double seconds = 0;
  long peakKb = 0;
  int slow = 0;
};

AgentRun runAgentCase(Case& c, const std::string& statements = std::string()) {
  if (c.resetMarks) resetMarks(*c.data);
  Spawn s;
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
  std::string log = options.work + "/logs/" + c.id + ".log";
  s.errors = log;
  int out = -1;
  pid_t pid = spawn(s, &out);
  std::string text = readAll(out);
  int code = waitFor(pid);
  AgentRun run;
  double cpu = 0;
  if (code != 0 || std::sscanf(text.c_str(), "seconds %lf cpu %lf peak_kb %ld", &run.seconds, &cpu,
                               &run.peakKb) != 3)
    fail("the agent's " + c.id + " run failed (exit " + std::to_string(code) + "): " + text +
         tail(log, 10));
  size_t slow = text.find(" slow ");
  if (slow != std::string::npos) run.slow = std::atoi(text.c_str() + slow + 6);
  return run;
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

// The floor: the client runs the script, output to /dev/null. Wall seconds.
double runFloor(Case& c, const std::string& script) {
  if (c.resetMarks) resetMarks(*c.data);
  Spawn s;
  s.argv = clientCommand(c.data->db);
  s.input = script;
  s.output = "/dev/null";
  std::string log = options.work + "/logs/" + c.id + "-floor.log";
  s.errors = log;
  double start = clockSeconds();
  int code = waitFor(spawn(s));
  double seconds = clockSeconds() - start;
  if (code != 0) fail("the client failed on " + script + ": " + tail(log, 5));
  return seconds;
}

// A digest of everything the client prints for a script.
std::string clientDigest(const Database& db, const std::string& script) {
  return trimmed(shell("mariadb --no-defaults --batch --quick --default-character-set=utf8mb4 -h " +
                       quote(db.address) + " -P 3306 -uroot -p" + kPassword + " < " +
                       quote(script) + " | md5sum"));
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
    Spawn s;
    s.argv = {options.agentProgram};
    s.env = agentEnvironment(*c.data);
    s.output = options.work + "/logs/startup.out";
    s.errors = options.work + "/logs/startup.log";
    double start = clockSeconds();
    pid_t pid = spawn(s);
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
      std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
      size_t at = status.find("VmHWM:");
      if (at != std::string::npos) run.peakKb = std::atol(status.c_str() + at + 6);
      ::kill(pid, SIGTERM);
      waitFor(pid);
      return run;
    }
    if (code < 0) {
      ::kill(pid, SIGKILL);
      waitFor(pid);
      fail("no daily report within 120 s of the agent's start: " + tail(s.errors, 10));
    }
    // 1: another kestrune runs on this machine (the agent runs once per machine).
    if (code != 1 || attempt >= 30)
      fail("the agent ended with exit code " + std::to_string(code) + ": " + tail(s.errors, 10));
    if (attempt == 0) std::printf("    (another kestrune runs on this machine; waiting for it)\n");
    std::this_thread::sleep_for(std::chrono::seconds(2));
  }
}

std::string grouped(long long n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string fixed(double v, int decimals) {
  if (v < 0) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// What TLS adds to the ratio: the median, over the runs, of the TLS run's
// time less that of its plain twin of the same round, over the two runs'
// floors (the same statements). Pairing run by run keeps the machine's
// drift out of a difference of a few milliseconds.
double pairedRatioChange(const Case& tls, const Case& plain) {
  Samples change;
  size_t n = std::min({tls.agent.values.size(), plain.agent.values.size(),
                       tls.floorSession.values.size(), plain.floorSession.values.size()});
  for (size_t i = 0; i < n; ++i) {
    double floor = (tls.floorSession.values[i] + plain.floorSession.values[i]) / 2;
    if (floor > 0) change.add((tls.agent.values[i] - plain.agent.values[i]) / floor);
  }
  return change.median();
}

// The median of the runs' own ratios: agent and floor of one run went
// side by side, so a noisy neighbour hits both.
double pairedRatio(const Samples& agent, const Samples& floor) {
  Samples ratios;
  for (size_t i = 0; i < agent.values.size() && i < floor.values.size(); ++i)
    if (floor.values[i] > 0) ratios.add(agent.values[i] / floor.values[i]);
  return ratios.median();
}

std::string csvField(const std::string& s) {
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

int usage() {
  std::fputs(
      "usage: kestrune-bench [--smoke] [--repeats N] [--base A.B.C] [--work DIR] "
      "[--csv FILE]\n",
      stderr);
  return 2;
}

void onSignal(int) {
  stopEverything();
  ::_exit(130);
}

int runBenchmark() {
  const bool smoke = options.smoke;
  const int repeats = smoke ? 1 : options.repeats;
  shell("rm -rf " + quote(options.work));
  for (const char* f : {"", "/logs", "/home", "/run", "/sql"}) makeFolder(options.work + f);
  ::chmod((options.work + "/run").c_str(), 0700);

  // Order items, receipts, products; expense movements, notes.
  long dailyItems = smoke ? 300 : 30000, dailyReceipts = smoke ? 30 : 3000;
  long smallItems = smoke ? 1000 : 250000, smallReceipts = smoke ? 100 : 25000;
  long largeItems = smoke ? 4000 : 1000000, largeReceipts = smoke ? 400 : 100000;
  long products = smoke ? 100 : 10000;
  long moves = smoke ? 200 : 20000;
  // The generator puts one in 25 movements into last year; the export reads this year's.
  auto lastYearToo = [](long n) { return std::to_string(n * 25 / 24); };

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
          {"--days", "1", "--now", kSalesNow, "--receipts", std::to_string(dailyReceipts),
           "--items", std::to_string(dailyItems), "--expenses", "0", "--notes", "0"},
          true);
  dataSet("month-small",
          {"--month", "--now", kSalesNow, "--receipts", std::to_string(smallReceipts), "--items",
           std::to_string(smallItems), "--products", std::to_string(products), "--expenses", "0",
           "--notes", "0"},
          true);
  dataSet("month-large",
          {"--month", "--now", kSalesNow, "--receipts", std::to_string(largeReceipts), "--items",
           std::to_string(largeItems), "--products", std::to_string(products), "--expenses", "0",
           "--notes", "0"},
          true);
  dataSet("export-1x",
          {"--days", "1", "--receipts", "10", "--expenses", lastYearToo(moves), "--notes",
           std::to_string(moves)},
          false);
  dataSet("export-2x",
          {"--days", "1", "--receipts", "10", "--expenses", lastYearToo(2 * moves), "--notes",
           std::to_string(2 * moves)},
          false);
  dataSet("demo", {}, false);

  std::printf("Kestrune benchmark%s: work folder %s\n",
              smoke ? " (smoke: tiny data, times not judged)" : "", options.work.c_str());
  std::string ftpAddress = options.base + ".1";
  FtpServer ftp = startFtp(ftpAddress, options.work);
  startFtps(ftpAddress, options.work);
  int host = 1;
  for (DataSet& d : data) {
    d.db.name = d.name;
    d.db.address = options.base + "." + std::to_string(host++);
    d.db.dir = options.work + "/db-" + d.name;
    d.root = options.work + "/root-" + d.name;
    d.config = options.work + "/config-" + d.name;
    makeFolder(d.config + "/Ostrelian");
    writeFile(d.config + "/Ostrelian/Melrova.ini",
              "[Server]\nipno=" + d.db.address + "\nftphost=" + ftpAddress + ":" +
                  std::to_string(kFtpPort) + "\nroot=" + d.root + "\n");
    d.tlsConfig = d.config + "-tls";
    d.offConfig = d.config + "-off";
    for (const std::string& config : {d.tlsConfig, d.offConfig}) {
      makeFolder(config + "/Ostrelian");
      writeFile(config + "/Ostrelian/Melrova.ini",
                "[Server]\nipno=" + d.db.address + "\nftphost=" + ftpAddress + ":" +
                    std::to_string(kFtpsPort) + "\nftpuser=" + kFtpsUser + "\nftppassword=" +
                    kFtpsPassword + "\nftptls=" + (config == d.tlsConfig ? "try" : "off") +
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
  auto set = [&data](const std::string& name) -> DataSet* {
    for (DataSet& d : data)
      if (d.name == name) return &d;
    fail("no data set " + name);
  };
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
  add("daily", "daily report", "daily", set("daily"), salesRows(dailyItems, dailyReceipts, 0));
  add("daily-tls-plain", "daily report, pure-ftpd plain", "daily", set("daily"),
      salesRows(dailyItems, dailyReceipts, 0))
      ->ftp = Case::Ftp::kTlsServerPlain;
  add("daily-tls", "daily report, pure-ftpd over TLS", "daily", set("daily"),
      salesRows(dailyItems, dailyReceipts, 0))
      ->ftp = Case::Ftp::kTls;
  add("monthly-small", "monthly report", "monthly", set("month-small"),
      salesRows(smallItems, smallReceipts, products));
  add("monthly-large", "monthly report", "monthly", set("month-large"),
      salesRows(largeItems, largeReceipts, products));
  add("stock-lists", "stock lists, read again by a run", "stock-lists", set("month-small"),
      grouped(products) + " products");
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
  add("daily-demo", "daily report", "daily", set("demo"), "demo data (pos-demo-data.py defaults)")
      ->floor = false;
  add("closed-days", "31 closed days caught up", "closed-days", set("demo"),
      "demo data (pos-demo-data.py defaults)")
      ->floor = false;
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
      else if (c.id == "daily-upload-tls" || c.id == "daily-upload-plain")
        c.perRound = 10;
      else if (c.id == "daily" || c.id == "stock-lists" || c.id == "export-1x" ||
               c.id == "export-1x-tls" || c.id == "export-1x-tls-plain" || c.id == "export-2x" ||
               c.id == "mark-batch" || c.id == "startup" || c.id == "daily-demo")
        c.perRound = 3;
    }
  }

  // A first run of each case records the statements and warms the servers.
  std::printf("Recording the agent's statements (one run of each case)\n");
  std::fflush(stdout);
  for (Case& c : cases) {
    if (c.job == "startup" || c.job == "mark-per-row" || c.job == "uploads" ||
        c.job == "daily-upload")
      continue;
    c.scripts = options.work + "/sql/" + c.id;
    runAgentCase(c, c.scripts);
  }
  for (Case& c : cases) {
    if (c.job != "daily" && c.job != "monthly") continue;
    c.identical = clientDigest(c.data->db, c.scripts + "-default.sql") ==
                          clientDigest(c.data->db, c.scripts + "-session.sql")
                      ? "yes"
                      : "NO";
  }
  // What the client alone costs: start, connect, SELECT 1, exit.
  Samples clientAlone;
  writeFile(options.work + "/sql/select1.sql", "SELECT 1;\n");

  for (int r = 0; r < repeats; ++r) {
    std::printf("Round %d of %d\n", r + 1, repeats);
    std::fflush(stdout);
    {
      Case probe;
      probe.id = "select1";
      probe.data = set("daily");
      clientAlone.add(runFloor(probe, options.work + "/sql/select1.sql"));
    }
    for (Case& c : cases) {
      if (r >= c.repeats) continue;
      // The order of agent and floors turns from run to run.
      for (int k = 0; k < 3 * c.perRound; ++k) {
        int which = (k + r + k / 3) % 3;
        if (which == 0) {
          AgentRun run = c.job == "startup" ? runStartup(c, ftp) : runAgentCase(c);
          c.agent.add(run.seconds);
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
  stopEverything();

  // The table.
  struct Line {
    std::string name, rows, agent, floorDefault, floorSession, ratioSession, ratioDefault, peak;
  };
  std::vector<Line> lines;
  lines.push_back({"case", "rows", "agent s", "floor s (default)", "floor s (agent session)",
                   "ratio", "ratio (default)", "agent peak RSS MB"});
  for (const Case& c : cases) {
    double a = c.agent.median();
    double fd = c.floor ? c.floorDefault.median() : -1;
    double fs = c.floor ? c.floorSession.median() : -1;
    double rs = c.floor ? pairedRatio(c.agent, c.floorSession) : -1;
    double rd = c.floor ? pairedRatio(c.agent, c.floorDefault) : -1;
    lines.push_back({c.label, c.rows, fixed(a, 3), fixed(fd, 3), fixed(fs, 3), fixed(rs, 2),
                     fixed(rd, 2), fixed(c.peakKb / 1024.0, 1)});
  }
  size_t w[8] = {};
  for (const Line& l : lines) {
    const std::string* f[8] = {&l.name,         &l.rows,         &l.agent,        &l.floorDefault,
                               &l.floorSession, &l.ratioSession, &l.ratioDefault, &l.peak};
    for (int i = 0; i < 8; ++i) w[i] = std::max(w[i], f[i]->size());
  }
  std::printf(
      "\nMedians of %d round%s (cases under a second: three runs a round; connection per\n"
      "row: at most three rounds; repeated uploads: one run). ratio = agent / floor with the\n"
      "agent's session settings,\n"
      "ratio (default) = agent / floor in the server's default session, both the medians\n"
      "of the runs' own ratios.\n\n",
      repeats, repeats == 1 ? "" : "s");
  for (size_t n = 0; n < lines.size(); ++n) {
    const Line& l = lines[n];
    const std::string* f[8] = {&l.name,         &l.rows,         &l.agent,        &l.floorDefault,
                               &l.floorSession, &l.ratioSession, &l.ratioDefault, &l.peak};
    std::string row = "|";
    for (int i = 0; i < 8; ++i) {
      std::string cell = *f[i];
      std::string pad(w[i] - cell.size(), ' ');
      row += " " + (i < 2 ? cell + pad : pad + cell) + " |";
    }
    std::printf("%s\n", row.c_str());
    if (n == 0) {
      std::string rule = "|";
      for (int i = 0; i < 8; ++i)
        rule += (i < 2 ? ":" : "-") + std::string(w[i], '-') + (i < 2 ? "-|" : ":|");
      std::printf("%s\n", rule.c_str());
    }
  }
  std::printf(
      "\nThe client alone (start, connect, SELECT 1, exit) takes %.3f s, part of every floor.\n",
      clientAlone.median());
  for (const Case& c : cases)
    if (c.identical != "-")
      std::printf("Rows of %s (%s) the same in both sessions: %s\n", c.label.c_str(),
                  c.rows.c_str(), c.identical.c_str());

  std::string csv = options.csv.empty() ? options.work + "/bench.csv" : options.csv;
  std::ostringstream out;
  out << "case,rows,agent_s,floor_default_s,floor_agent_session_s,ratio_agent_session,"
         "ratio_default,agent_peak_rss_mb,runs\n";
  for (size_t n = 1; n < lines.size(); ++n) {
    const Line& l = lines[n];
    out << csvField(l.name) << ',' << csvField(l.rows) << ',' << l.agent << ',' << l.floorDefault
        << ',' << l.floorSession << ',' << l.ratioSession << ',' << l.ratioDefault << ',' << l.peak
        << ',' << cases[n - 1].agent.values.size() << '\n';
  }
  writeFile(csv, out.str());
  std::printf("CSV: %s\n", csv.c_str());

  bool identical = true;
  for (const Case& c : cases) identical = identical && c.identical != "NO";
  if (smoke) {
    std::printf("\nSmoke run: every case ran; times are not judged.\n");
    return identical ? 0 : 1;
  }

  auto find = [&cases](const std::string& id) -> const Case& {
    for (const Case& c : cases)
      if (c.id == id) return c;
    fail("no case " + id);
  };
  auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
  const Case& daily = find("daily");
  const Case& monthly = find("monthly-large");
  const Case& small = find("monthly-small");
  double dailyRatio = pairedRatio(daily.agent, daily.floorSession);
  double monthlyRatio = pairedRatio(monthly.agent, monthly.floorSession);
  double peakMb = monthly.peakKb / 1024.0, smallPeakMb = small.peakKb / 1024.0;
  double growth = pairedRatio(find("export-2x").agent, find("export-1x").agent);
  double marking = pairedRatio(find("mark-per-row").agent, find("mark-batch").agent);
  std::printf("\nTargets\n");
  std::printf(
      "  daily report <= 1.3x the floor:           %.2fx (%.2fx the default-session floor)  %s\n",
      dailyRatio, pairedRatio(daily.agent, daily.floorDefault), verdict(dailyRatio <= 1.3));
  // Both to the same pure-ftpd, so that only TLS differs. The daily runs'
  // own difference scatters with their database reads by more than TLS
  // costs; the uploads of the same document alone tell it.
  const Case& tls = find("daily-tls");
  const Case& tlsTwin = find("daily-tls-plain");
  Samples dailyFloors = tls.floorSession;
  for (double v : tlsTwin.floorSession.values) dailyFloors.add(v);
  double uploadTls = find("daily-upload-tls").agent.median();
  double uploadPlain = find("daily-upload-plain").agent.median();
  double tlsChange = (uploadTls - uploadPlain) / dailyFloors.median();
  std::printf(
      "  TLS changes the daily ratio by <= 0.1:    %+.3f (upload %.1f ms over TLS, %.1f ms "
      "plain, daily floor %.3f s; whole runs: %+.3f)  %s\n",
      tlsChange, uploadTls * 1000, uploadPlain * 1000, dailyFloors.median(),
      pairedRatioChange(tls, tlsTwin), verdict(tlsChange <= 0.1));
  std::printf(
      "  monthly report <= 1.3x the floor:         %.2fx (%.2fx the default-session floor)  %s\n",
      monthlyRatio, pairedRatio(monthly.agent, monthly.floorDefault), verdict(monthlyRatio <= 1.3));
  std::printf(
      "  monthly peak RSS <= 64 MB and flat:       %.1f MB at %s items, %.1f MB at %s  %s\n",
      peakMb, grouped(largeItems).c_str(), smallPeakMb, grouped(smallItems).c_str(),
      verdict(peakMb <= 64 && peakMb <= smallPeakMb * 1.1 + 1));
  std::printf("  export, twice the data <= 2.2x the time:  %.2fx  %s\n", growth,
              verdict(growth <= 2.2));
  std::printf("  marking >= 10x faster than per-row connections: %.1fx  %s\n", marking,
              verdict(marking >= 10));
  std::printf("  start-up to the first report uploaded:    %.3f s (demo data)\n",
              find("startup").agent.median());
  const Case& repeated = find("uploads");
  std::printf("  no upload takes 0.9 s or more:            %d of %s  %s\n", repeated.slow,
              grouped(repeated.uploads).c_str(), verdict(repeated.slow == 0));
  double dailyDemo = find("daily-demo").agent.median();
  double catchUp = find("closed-days").agent.median();
  std::printf("  31 closed days <= 31 daily runs + 1 s:    %.3f s against %.3f s  %s\n", catchUp,
              31 * dailyDemo + 1, verdict(catchUp <= 31 * dailyDemo + 1));
  const Case& lists = find("stock-lists");
  std::printf(
      "  stock lists read again by each report run: %.3f s, %s products (%.2fx its floor)\n",
      lists.agent.median(), grouped(products).c_str(),
      pairedRatio(lists.agent, lists.floorSession));
  return identical ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
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
      else
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
