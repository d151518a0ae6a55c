// Real servers for the tests: a private MariaDB, a pyftpdlib FTP server and
// a pure-ftpd FTP server with TLS, all on this test program's own loopback address, started on
// first use and stopped when the program ends. Also the settings file and an error catcher.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"

namespace kestrune::test {

// This program's loopback address, folder (emptied at start) and the source tree.
const std::string& testAddress();
const std::string& testDir();
const std::string& sourceDir();
// Another loopback address of this program's own, where nothing listens
// unless a test puts something there (host 1, 2, ...).
std::string otherAddress(int host);
// A fresh empty folder below testDir().
std::string freshFolder(const std::string& name);

using Rows = std::vector<std::vector<std::string>>;

struct MariaDb {
  std::string address;
  std::string dir;
  std::string password = "K_plom_R";
  int pid = 0;

  // Starts (or restarts) the server with root's TCP password.
  void start(const std::string& rootPassword = "K_plom_R");
  void stop();      // clean shutdown
  void killHard();  // SIGKILL, as a crash would
  // Starts again on the data the last server left (after stop or killHard).
  void resume();
  bool running() const { return pid > 0; }

  // Admin access over the server's socket (independent of root's TCP password).
  void exec(const std::string& statement) const;
  Rows query(const std::string& statement) const;
  std::string scalar(const std::string& statement) const;
  void setRootPassword(const std::string& rootPassword);
  // Empties every point-of-sale table.
  void resetData() const;
};

// The program's MariaDB on testAddress(), started on first call.
MariaDb& database();

struct FtpServer {
  std::string address;
  int port = 0;
  std::string root;  // files land below root/httpdocs/customer_yedek/<folder>
  std::string log;
  std::string mode;
  int pid = 0;

  void start(const std::string& mode = "normal",
             const std::vector<std::string>& folders = {"demo"});
  void stop();
  std::string remotePath(const std::string& folder, const std::string& name) const;
  std::string settingValue() const { return address + ":" + std::to_string(port); }
};

// An FTP server on testAddress():`port`, started on first call for that port.
FtpServer& ftpServer(int port = 2121, const std::string& mode = "normal");

// pure-ftpd with a self-signed certificate for its address, `level` its TLS
// rule: 1 plain or TLS, 3 TLS on control and data (plain log-ins refused).
// Its one user, kFtpsUser, is virtual (a file of its own) and writes as
// "nobody" when the tests run as root, else as the tests' own user.
struct FtpsServer {
  std::string address;
  int port = 0;
  int level = 0;
  std::string root;         // as FtpServer
  std::string certificate;  // PEM: the server's key and its certificate
  int pid = 0;

  void start(int level);
  void stop();
  std::string remotePath(const std::string& folder, const std::string& name) const;
  std::string settingValue() const { return address + ":" + std::to_string(port); }
};
extern const char kFtpsUser[];
extern const char kFtpsPassword[];

// A TLS FTP server on testAddress():`port`, started on first call for that port.
FtpsServer& ftpsServer(int port, int level);

// Writes the settings file ([Server] section) with these values; an empty map
// removes the file.
void writeSettings(const std::map<std::string, std::string>& values);
// The usual settings: ipno = the test address, ftphost = the FTP server, root = `root`.
void writeStandardSettings(const std::string& root = "");

// Catches everything shown through the error sink while it lives.
struct CapturedErrors {
  CapturedErrors();
  ~CapturedErrors();
  std::vector<std::pair<std::string, std::string>> all() const;
  size_t count() const;
  std::string captions() const;  // "A,B,C"
 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> errors_;
};

}  // namespace kestrune::test
