#include "tests/support/servers.h"

#include <arpa/inet.h>
#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "platform/errors.h"
#include "tests/support/process.h"
#include "tests/support/wait.h"

namespace kestrune::test {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

// The test program's folders and settings are set up before any test runs.
struct Setup {
  std::string address, dir, source;
  Setup() {
    address = envOr("KESTRUNE_TEST_ADDRESS", "127.0.0.99");
    source = envOr("KESTRUNE_SOURCE_DIR", KESTRUNE_DEFAULT_SOURCE_DIR);
    dir = envOr("KESTRUNE_TEST_DIR", "/tmp/kestrune-test");
    shell("rm -rf " + quote(dir) + " && mkdir -p " + quote(dir + "/home") + " " +
          quote(dir + "/config"));
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::unsetenv("XDG_DESKTOP_DIR");
    ::setenv("TZ", "Europe/Istanbul", 0);
    ::tzset();
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

// Stops whatever this program started, also when a test fails.
struct Cleanup {
  std::vector<MariaDb*> databases;
  std::vector<FtpServer*> ftpServers;
  std::vector<FtpsServer*> ftpsServers;
  ~Cleanup() {
    for (FtpServer* f : ftpServers) {
      f->stop();
      delete f;
    }
    for (FtpsServer* f : ftpsServers) {
      f->stop();
      delete f;
    }
    for (MariaDb* d : databases) d->stop();
  }
};
Cleanup& cleanup() {
  static Cleanup c;
  return c;
}

struct EarlySetup {
  EarlySetup() {
    setup();
    cleanup();
  }
} earlySetup;

std::unique_ptr<sql::Connection> adminConnection(const MariaDb& db) {
  sql::ConnectOptionsMap options;
  options["hostName"] = sql::SQLString("unix://" + db.dir + "/sock");
  options["userName"] = sql::SQLString("root");
  options["password"] = sql::SQLString("");
  options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
  return std::unique_ptr<sql::Connection>(get_driver_instance()->connect(options));
}

}  // namespace

const std::string& testAddress() { return setup().address; }
const std::string& testDir() { return setup().dir; }
const std::string& sourceDir() { return setup().source; }

std::string otherAddress(int host) {
  // a.b.0.d -> a.b.host.d
  const std::string& a = testAddress();
  size_t second = a.find('.', a.find('.') + 1);
  size_t third = a.rfind('.');
  return a.substr(0, second + 1) + std::to_string(host) + a.substr(third);
}

std::string freshFolder(const std::string& name) {
  std::string path = testDir() + "/" + name;
  shell("rm -rf " + quote(path) + " && mkdir -p " + quote(path));
  return path;
}

void MariaDb::start(const std::string& rootPassword) {
  if (address.empty()) address = testAddress();
  if (dir.empty()) dir = testDir() + "/mariadb-" + address;
  std::string out = shell(quote(sourceDir() + "/tools/mariadb-server") + " start " + quote(dir) +
                          " " + quote(address) + " " + quote(rootPassword));
  pid = std::atoi(out.c_str());
  password = rootPassword;
}

void MariaDb::resume() {
  std::string out = shell(quote(sourceDir() + "/tools/mariadb-server") + " resume " + quote(dir) +
                          " " + quote(address) + " " + quote(password));
  pid = std::atoi(out.c_str());
}

void MariaDb::stop() {
  if (dir.empty()) return;
  // Also called on the way out of a failed test: a server that will not stop is only noted.
  if (std::system((quote(sourceDir() + "/tools/mariadb-server") + " stop " + quote(dir)).c_str()) !=
      0)
    std::fprintf(stderr, "could not stop the MariaDB server in %s\n", dir.c_str());
  pid = 0;
}

void MariaDb::killHard() {
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    waitFor([&] { return ::kill(pid, 0) != 0; }, std::chrono::seconds(4));
  }
  ::unlink((dir + "/pid").c_str());
  pid = 0;
}

void MariaDb::exec(const std::string& statement) const {
  auto con = adminConnection(*this);
  std::unique_ptr<sql::Statement> stmt(con->createStatement());
  stmt->execute(statement);
}

Rows MariaDb::query(const std::string& statement) const {
  auto con = adminConnection(*this);
  std::unique_ptr<sql::Statement> stmt(con->createStatement());
  std::unique_ptr<sql::ResultSet> res(stmt->executeQuery(statement));
  Rows rows;
  unsigned columns = res->getMetaData()->getColumnCount();
  while (res->next()) {
    std::vector<std::string> row;
    for (unsigned c = 1; c <= columns; ++c)
      row.push_back(res->isNull(c) ? "NULL" : res->getString(c).asStdString());
    rows.push_back(row);
  }
  return rows;
}

std::string MariaDb::scalar(const std::string& statement) const {
  Rows rows = query(statement);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

void MariaDb::setRootPassword(const std::string& rootPassword) {
  exec("ALTER USER 'root'@'%' IDENTIFIED BY '" + rootPassword + "'");
  password = rootPassword;
}

void MariaDb::resetData() const {
  static const char* tables[] = {"company.maininfo",     "stocks.stckdef",    "satislar.shopcharts",
                                 "satislar.shpchrtarch", "oturum.orderitems", "oturum.orderitarch",
                                 "banks.moves",          "cekler.moves",      "kasa.moves",
                                 "expenses.grpb",        "expenses.expenses", "expenses.moves",
                                 "expenses.notes"};
  auto con = adminConnection(*this);
  std::unique_ptr<sql::Statement> stmt(con->createStatement());
  for (const char* t : tables) stmt->execute(std::string("TRUNCATE TABLE ") + t);
}

MariaDb& database() {
  static MariaDb* db = [] {
    auto* d = new MariaDb;
    d->start();
    cleanup().databases.push_back(d);
    return d;
  }();
  if (!db->running()) db->start(db->password);
  return *db;
}

void FtpServer::start(const std::string& startMode, const std::vector<std::string>& folders) {
  stop();
  if (address.empty()) address = testAddress();
  mode = startMode;
  if (root.empty()) root = testDir() + "/ftp-" + std::to_string(port);
  log = root + ".log";
  shell("mkdir -p " + quote(root));
  int first = 40000 + (port % 100) * 40;
  std::vector<std::string> args = {"/usr/bin/python3",
                                   sourceDir() + "/tools/ftp-server.py",
                                   "--root",
                                   root,
                                   "--address",
                                   address,
                                   "--port",
                                   std::to_string(port),
                                   "--passive",
                                   std::to_string(first) + "-" + std::to_string(first + 39),
                                   "--log",
                                   log,
                                   "--mode",
                                   mode};
  for (const std::string& f : folders) {
    args.push_back("--folder");
    args.push_back(f);
  }
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string line;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(fds[0]);
  if (line != "ready") throw std::runtime_error("FTP server did not start: " + line);
  pid = child;
}

void FtpServer::stop() {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = 0;
}

std::string FtpServer::remotePath(const std::string& folder, const std::string& name) const {
  std::string path = root + "/httpdocs/customer_yedek";
  if (!folder.empty()) path += "/" + folder;
  return path + "/" + name;
}

FtpServer& ftpServer(int port, const std::string& mode) {
  static std::map<int, FtpServer*> servers;
  FtpServer*& s = servers[port];
  if (!s) {
    s = new FtpServer;
    s->port = port;
    cleanup().ftpServers.push_back(s);
  }
  if (s->pid <= 0 || s->mode != mode) s->start(mode);
  return *s;
}

const char kFtpsUser[] = "lokanta42";
const char kFtpsPassword[] = "Gizli-Sifre-42";

void FtpsServer::start(int startLevel) {
  stop();
  if (address.empty()) address = testAddress();
  level = startLevel;
  if (root.empty()) root = testDir() + "/ftps-" + std::to_string(port);
  certificate = root + ".pem";
  int first = 40000 + (port % 100) * 40;
  std::vector<std::string> args = {sourceDir() + "/tools/ftps-server",
                                   root,
                                   address,
                                   std::to_string(port),
                                   std::to_string(level),
                                   std::to_string(first) + ":" + std::to_string(first + 39)};
  pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::setenv("KESTRUNE_FTPS_USER", kFtpsUser, 1);
    ::setenv("KESTRUNE_FTPS_PASSWORD", kFtpsPassword, 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid = child;
  // Ready when it accepts a connection (the script becomes the server).
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  for (int i = 0; i < 250; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    if (up) return;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
    ::usleep(20000);
  }
  stop();
  throw std::runtime_error("pure-ftpd did not start on " + settingValue());
}

void FtpsServer::stop() {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = 0;
}

std::string FtpsServer::remotePath(const std::string& folder, const std::string& name) const {
  return root + "/httpdocs/customer_yedek/" + folder + "/" + name;
}

FtpsServer& ftpsServer(int port, int level) {
  static std::map<int, FtpsServer*> servers;
  FtpsServer*& s = servers[port];
  if (!s) {
    s = new FtpsServer;
    s->port = port;
    cleanup().ftpsServers.push_back(s);
  }
  if (s->pid <= 0 || s->level != level) s->start(level);
  return *s;
}

void writeSettings(const std::map<std::string, std::string>& values) {
  std::string folder = testDir() + "/config/Ostrelian";
  std::string path = folder + "/Melrova.ini";
  if (values.empty()) {
    ::unlink(path.c_str());
    return;
  }
  ::mkdir(folder.c_str(), 0755);
  std::ofstream out(path, std::ios::trunc);
  out << "[Server]\n";
  for (const auto& [k, v] : values) out << k << "=" << v << "\n";
}

void writeStandardSettings(const std::string& root) {
  std::map<std::string, std::string> values = {{"ipno", testAddress()},
                                               {"ftphost", testAddress() + ":2121"}};
  if (!root.empty()) values["root"] = root;
  writeSettings(values);
}

CapturedErrors::CapturedErrors() {
  setErrorSink([this](const std::string& caption, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.emplace_back(caption, text);
  });
}

CapturedErrors::~CapturedErrors() { setErrorSink(nullptr); }

std::vector<std::pair<std::string, std::string>> CapturedErrors::all() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

size_t CapturedErrors::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_.size();
}

std::string CapturedErrors::captions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  for (const auto& e : errors_) out += (out.empty() ? "" : ",") + e.first;
  return out;
}

}  // namespace kestrune::test
