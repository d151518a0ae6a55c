// The FTP client against real FTP servers on loopback: every result code
// from a real condition, the bytes that arrive, the bounds on waiting, and
// one session carrying a run's files through the faults of a real line.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/ftp.h"
#include "tests/support/faults.h"
#include "tests/support/relay.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;

using test::awkwardBytes;

class Ftp : public ::testing::Test {
 protected:
  void SetUp() override {
    setFtpTimeouts(FtpTimeouts{});
    server = &test::ftpServer(2121, "normal");
    login = accountOf(*server);
    local = test::freshFolder("local");
  }
  void TearDown() override { setFtpTimeouts(FtpTimeouts{}); }

  static FtpAccount accountOf(const test::FtpServer& s) {
    return {s.address, s.port, "brevanotica", "wKup3h58", FtpTls::kTry};
  }
  int put(const std::string& name, const std::string& path) {
    return ftpPutFile(login, "httpdocs/customer_yedek/" + folder, name, path);
  }
  std::string localFile(const std::string& name, const std::string& bytes) {
    std::string path = local + "/" + name;
    test::writeFile(path, bytes);
    return path;
  }
  // What the server logged from now on.
  size_t logMark() const { return test::readFile(server->log).size(); }
  std::string logSince(size_t mark) const { return test::readFile(server->log).substr(mark); }

  test::FtpServer* server = nullptr;
  FtpAccount login;
  std::string folder = "demo";
  std::string local;
};

TEST_F(Ftp, StoresTheBytesInBinaryModeAndReplacesTheOldFile) {
  std::string first = awkwardBytes(50 * 1024);
  std::string path = localFile("gider.dat", first);
  int repaints = statusRefreshCount();
  size_t mark = logMark();

  EXPECT_EQ(9, put("gider.dat", path));
  EXPECT_EQ(first, test::readFile(server->remotePath("demo", "gider.dat")));
  std::string log = logSince(mark);
  EXPECT_NE(std::string::npos, log.find("<- TYPE I")) << log;
  EXPECT_EQ(std::string::npos, log.find("<- TYPE A")) << log;
  EXPECT_NE(std::string::npos, log.find("<- CWD httpdocs/customer_yedek/demo")) << log;

  std::string second = "short\r\n";
  test::writeFile(path, second);
  EXPECT_EQ(9, put("gider.dat", path));
  EXPECT_EQ(second, test::readFile(server->remotePath("demo", "gider.dat")));

  test::writeFile(path, "");
  EXPECT_EQ(9, put("gider.dat", path));
  EXPECT_TRUE(test::fileExists(server->remotePath("demo", "gider.dat")));
  EXPECT_EQ("", test::readFile(server->remotePath("demo", "gider.dat")));
  EXPECT_EQ(repaints, statusRefreshCount());
}

TEST_F(Ftp, LogInFailuresGiveMinusTwo) {
  std::string path = localFile("a.txt", "a");

  // nothing listening
  login.host = test::otherAddress(1);
  EXPECT_EQ(-2, put("a.txt", path));

  // a server that refuses the agent's log-in
  test::FtpServer& denying = test::ftpServer(2125, "deny-login");
  login = accountOf(denying);
  EXPECT_EQ(-2, put("a.txt", path));
  EXPECT_FALSE(test::fileExists(denying.remotePath("demo", "a.txt")));

  // a wrong password of our own
  FtpAccount account = login;
  account.host = server->address;
  account.port = server->port;
  account.password = "wrong";
  EXPECT_EQ(-2, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", path));

  EXPECT_FALSE(test::fileExists(server->remotePath("demo", "a.txt")));
}

TEST_F(Ftp, MissingRemoteFolderGivesMinusFiveAndIsNotCreated) {
  folder = "nosuch";
  std::string path = localFile("a.txt", "a");
  size_t mark = logMark();
  EXPECT_EQ(-5, put("a.txt", path));
  EXPECT_FALSE(test::fileExists(server->root + "/httpdocs/customer_yedek/nosuch"));
  std::string log = logSince(mark);
  EXPECT_EQ(std::string::npos, log.find("MKD")) << log;
  EXPECT_EQ(std::string::npos, log.find("STOR")) << log;
  // the folder step comes before the local file is looked at
  EXPECT_EQ(-5, put("a.txt", local + "/absent"));
}

TEST_F(Ftp, MissingLocalFileGivesMinusElevenAndLeavesTheRemoteFile) {
  std::string path = localFile("gider.dat", "kept");
  ASSERT_EQ(9, put("gider.dat", path));
  size_t mark = logMark();
  EXPECT_EQ(-11, put("gider.dat", local + "/absent.dat"));
  EXPECT_EQ("kept", test::readFile(server->remotePath("demo", "gider.dat")));
  std::string log = logSince(mark);
  EXPECT_NE(std::string::npos, log.find("<- CWD")) << log;
  EXPECT_EQ(std::string::npos, log.find("STOR")) << log;

  // a folder is not a file
  EXPECT_EQ(-11, put("gider.dat", local));
  EXPECT_EQ("kept", test::readFile(server->remotePath("demo", "gider.dat")));
}

TEST_F(Ftp, RefusedStorGivesMinusEleven) {
  std::string path = localFile("a.txt", "a");
  FtpAccount account = login;
  account.user = "readonly";
  account.password = "readonly";
  EXPECT_EQ(-11, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", path));
  EXPECT_FALSE(test::fileExists(server->remotePath("demo", "a.txt")));
}

TEST_F(Ftp, LineBreaksInNamesCannotSendCommands) {
  std::string victim = localFile("victim.txt", "victim");
  ASSERT_EQ(9, put("victim.txt", victim));
  size_t mark = logMark();

  folder = "demo\r\nDELE victim.txt";
  EXPECT_EQ(-5, put("a.txt", victim));
  folder = "demo\nRMD x";
  EXPECT_EQ(-5, put("a.txt", victim));
  folder = "demo";
  EXPECT_EQ(-11, put("a.txt\r\nDELE victim.txt", victim));
  EXPECT_EQ(-11, put(std::string("a.txt\0DELE victim.txt", 21), victim));

  FtpAccount account = login;
  account.user = "brevanotica\r\nDELE victim.txt";
  EXPECT_EQ(-2, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", victim));
  account = login;
  account.host = server->address + "/x";
  EXPECT_EQ(-2, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", victim));

  std::string log = logSince(mark);
  EXPECT_EQ(std::string::npos, log.find("DELE")) << log;
  EXPECT_EQ(std::string::npos, log.find("RMD")) << log;
  EXPECT_EQ("victim", test::readFile(server->remotePath("demo", "victim.txt")));
}

// Whether an upload now and then sleeps a whole poll time-out (this libcurl
// has, for a moment, no socket to wait on) shows only over thousands of
// uploads, and then not every time: the benchmark counts those
// (tools/benchmark/case.cc, "uploads").

// A server that accepts and falls silent costs the time-out of the step it
// stopped in, and the code names that step. Only that step's time-out is
// short; the others stay at 30 s, so the time shows which one ended it.
struct StallCase {
  const char* mode;
  int port;
  int expected;
  FtpTimeouts timeouts;
  double bound;  // the short time-out
  size_t size;   // of the file sent
};

class SilentServer : public Ftp, public ::testing::WithParamInterface<StallCase> {};

TEST_P(SilentServer, GivesUpWithinTheBound) {
  const StallCase& c = GetParam();
  setFtpTimeouts(c.timeouts);
  test::FtpServer& stalling = test::ftpServer(c.port, c.mode);
  login = accountOf(stalling);
  std::string path = localFile("a.txt", awkwardBytes(c.size));
  std::remove(stalling.remotePath("demo", "a.txt").c_str());
  Clock::time_point start = Clock::now();
  EXPECT_EQ(c.expected, put("a.txt", path));
  double took = secondsSince(start);
  EXPECT_GE(took, c.bound - 0.5);
  // a transfer's speed is averaged over its last five seconds
  EXPECT_LT(took, c.bound + 10.0);
  if (std::string(c.mode) == "stall-data") {
    size_t arrived = test::readFile(stalling.remotePath("demo", "a.txt")).size();
    EXPECT_GT(arrived, 0u) << "the transfer started";
    EXPECT_LT(arrived, c.size);
  }
}

// A server that answers each step just in time (trickling) is still left
// at the upload's overall bound.
TEST_F(Ftp, AnUploadEndsAtItsOverallBound) {
  setFtpTimeouts(FtpTimeouts{30, 30, 30, 2});
  test::FtpServer& stalling = test::ftpServer(2124, "stall-stor");
  login = accountOf(stalling);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(-11, put("a.txt", localFile("a.txt", "a")));
  double took = secondsSince(start);
  EXPECT_GE(took, 1.5);
  EXPECT_LT(took, 10.0);  // its step's own time-out is 30 s
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SilentServer,
    ::testing::Values(StallCase{"silent", 2122, -2, {2, 30, 30}, 2.0, 1},
                      StallCase{"stall-cwd", 2123, -5, {30, 3, 30}, 3.0, 1},
                      StallCase{"stall-stor", 2124, -11, {30, 3, 30}, 3.0, 1},
                      StallCase{"stall-data", 2126, -11, {30, 30, 2}, 2.0, 16 << 20}),
    [](const ::testing::TestParamInfo<StallCase>& param) {
      std::string name = param.param.mode;
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

// `require` trusts what the system trusts. A child in a mount namespace of
// its own sees the test server's certificate as the system's CA bundle.
TEST_F(Ftp, RequireUploadsToACertificateTheSystemTrusts) {
  test::FtpsServer& required = test::ftpsServer(2131, 3);
  login = {required.address, required.port, test::kFtpsUser, test::kFtpsPassword, FtpTls::kRequire};
  std::string bytes = awkwardBytes(5000), path = localFile("trusted.dat", bytes);
  const char* bundle = "/etc/ssl/certs/ca-certificates.crt";
  pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        ::mount((required.certificate + ".crt").c_str(), bundle, nullptr, MS_BIND, nullptr))
      ::_exit(100);
    ::_exit(put("trusted.dat", path) == 9 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 100) GTEST_SKIP() << "no mount namespace";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(bytes, test::readFile(required.remotePath("demo", "trusted.dat")));
}

// A run's files over one session, through a line with a round trip
// (tools/delay-relay) and the faults of a line or a server. Whatever breaks
// the kept connection, every file gets the try it would have had alone (a
// new connection), and a file reported sent is on the server. The relay's
// count is of all connections, control and data.
TEST_F(Ftp, OneSessionCarriesARunsFilesThroughTheFaultsOfALine) {
  struct Case {
    const char* what;
    const char* mode;  // pyftpdlib's; null: pure-ftpd requiring TLS
    int port;
    const char* afterFirst;   // relay command after the first file ("idle": wait instead)
    const char* afterSecond;  // ... after the second
    std::vector<int> results;
    int connections;
  } cases[] = {
      {"one log-in for all", "normal", 2141, "", "", {9, 9, 9}, 4},
      {"one log-in over TLS", nullptr, 2142, "", "", {9, 9, 9}, 4},
      {"server closes the idle connection", "idle-close", 2143, "idle", "", {9, 9, 9}, 5},
      // each refusal costs the kept connection; after two none is kept
      {"server refuses a second STOR", "one-stor", 2144, "", "", {9, 9, 9}, 8},
      {"line cut after the first file", "normal", 2145, "cut", "", {9, 9, 9}, 5},
      // the file waits out its time-out on the kept connection, as alone
      {"data connection refused", "normal", 2146, "refuse-data", "accept-data", {9, -11, 9}, 5},
  };
  setFtpTimeouts(FtpTimeouts{5, 5, 2, 600});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string target = test::testAddress(), root;
    if (c.mode) {
      test::FtpServer& s = test::ftpServer(c.port, c.mode);
      root = s.remotePath("demo", "");
      login = accountOf(s);
    } else {
      test::FtpsServer& s = test::ftpsServer(c.port, 3);
      root = s.remotePath("demo", "");
      login = {s.address, s.port, test::kFtpsUser, test::kFtpsPassword, FtpTls::kTry};
    }
    test::DelayRelay relay;
    relay.start(test::otherAddress(1), target, c.port, 10);
    login.host = relay.address;
    FtpSession session;
    for (size_t i = 0; i < c.results.size(); ++i) {
      std::string name = "f" + std::to_string(i) + ".dat", bytes = awkwardBytes(3000 + i);
      std::remove((root + name).c_str());
      EXPECT_EQ(c.results[i], ftpPutFile(session, login, "httpdocs/customer_yedek/demo", name,
                                         localFile(name, bytes)))
          << name;
      EXPECT_TRUE((c.results[i] == 9 ? bytes : "") == test::readFile(root + name)) << name;
      const char* next = i == 0 ? c.afterFirst : i == 1 ? c.afterSecond : "";
      if (std::string(next) == "idle")
        std::this_thread::sleep_for(std::chrono::milliseconds(1600));
      else if (*next)
        relay.command(next);
    }
    EXPECT_EQ(c.connections, relay.connections());
  }
}

}  // namespace
}  // namespace kestrune
