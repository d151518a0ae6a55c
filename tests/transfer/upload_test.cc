// The FTP upload against a real FTP server on loopback: every result code
// from a real condition, the bytes that arrive, and the bounds on waiting.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/control.h"
#include "platform/ftp.h"
#include "platform/log.h"
#include "tests/support/faults.h"
#include "tests/support/servers.h"
#include "transfer/upload.h"

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;

// Bytes an ASCII-mode transfer or a text-mode file would change.
std::string awkwardBytes(size_t size) {
  std::string bytes = std::string("line one\r\nline two\n\r\0\0end\x1a\xff\xfe", 27);
  for (size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>((i * 131 + 7) & 0xFF);
  return bytes;
}

class Upload : public ::testing::Test {
 protected:
  void SetUp() override {
    setFtpTimeouts(FtpTimeouts{});
    server = &test::ftpServer(2121, "normal");
    test::writeSettings({{"ftphost", server->settingValue()}});
    company.compfolder = "demo";
    company.raporlamahash = "a1b2c3";
    local = test::freshFolder("local");
  }
  void TearDown() override { setFtpTimeouts(FtpTimeouts{}); }

  std::string localFile(const std::string& name, const std::string& bytes) {
    std::string path = local + "/" + name;
    test::writeFile(path, bytes);
    return path;
  }
  // What the server logged from now on.
  size_t logMark() const { return test::readFile(server->log).size(); }
  std::string logSince(size_t mark) const { return test::readFile(server->log).substr(mark); }

  test::FtpServer* server = nullptr;
  CompanyInfo company;
  std::string local;
};

TEST_F(Upload, StoresTheBytesInBinaryModeAndReplacesTheOldFile) {
  std::string first = awkwardBytes(50 * 1024);
  std::string path = localFile("gider.dat", first);
  int repaints = statusRefreshCount();
  size_t mark = logMark();

  EXPECT_EQ(9, uploadFile("gider.dat", path, company));
  EXPECT_EQ(first, test::readFile(server->remotePath("demo", "gider.dat")));
  std::string log = logSince(mark);
  EXPECT_NE(std::string::npos, log.find("<- TYPE I")) << log;
  EXPECT_EQ(std::string::npos, log.find("<- TYPE A")) << log;
  EXPECT_NE(std::string::npos, log.find("<- CWD httpdocs/customer_yedek/demo")) << log;

  std::string second = "short\r\n";
  test::writeFile(path, second);
  EXPECT_EQ(9, uploadFile("gider.dat", path, company));
  EXPECT_EQ(second, test::readFile(server->remotePath("demo", "gider.dat")));

  test::writeFile(path, "");
  EXPECT_EQ(9, uploadFile("gider.dat", path, company));
  EXPECT_TRUE(test::fileExists(server->remotePath("demo", "gider.dat")));
  EXPECT_EQ("", test::readFile(server->remotePath("demo", "gider.dat")));
  EXPECT_EQ(repaints, statusRefreshCount());
}

// Folder and file names come from the database: one that would leave the
// restaurant's folder (into the folder all restaurants share, the account's
// root or another restaurant's folder) sends nothing at all.
TEST_F(Upload, NamesThatWouldLeaveTheRestaurantsFolderSendNothing) {
  test::CapturedErrors errors;
  std::string path = localFile("x.html", "<html></html>");
  size_t mark = logMark();
  struct Case {
    const char* folder;
    std::string name;
    int expected;
  } cases[] = {
      {"", "x.html", -5},
      {".", "x.html", -5},
      {"..", "x.html", -5},
      {"../other", "x.html", -5},
      {"demo/..", "x.html", -5},
      {"a\\b", "x.html", -5},
      {"demo", "../../../evil_gunluk.html", -11},
      {"demo", "../other/key2_gunluk.html", -11},
      {"demo", "..%2Fother_gunluk.html", 9},  // a name of its own, decoded by nobody
      {"demo", "a\\b.html", -11},
      {"demo", "..", -11},
  };
  for (const Case& c : cases) {
    company.compfolder = c.folder;
    EXPECT_EQ(c.expected, uploadFile(c.name, path, company)) << c.folder << " " << c.name;
  }
  company.compfolder = "demo";
  company.raporlamahash = "../../../evil";
  EXPECT_EQ(0, uploadReport(path, "gunluk.html", company));
  EXPECT_EQ(11u, errors.count()) << errors.captions();
  std::string log = logSince(mark);
  EXPECT_EQ(std::string::npos, log.find("evil")) << log;
  EXPECT_EQ(std::string::npos, log.find("CWD httpdocs/customer_yedek\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("CWD httpdocs/customer_yedek/..")) << log;
  EXPECT_EQ(std::string::npos, log.find("STOR ../")) << log;
  EXPECT_EQ("<html></html>", test::readFile(server->remotePath("demo", "..%2Fother_gunluk.html")));
}

TEST_F(Upload, NamesWithSpacesAndTurkishLettersArriveUnchanged) {
  std::string name = "fiş 100% #1.jpg";
  std::string path = localFile("receipt.jpg", "JPEG");
  EXPECT_EQ(9, uploadFile(name, path, company));
  EXPECT_EQ("JPEG", test::readFile(server->remotePath("demo", name)));
}

TEST_F(Upload, ReportGoesUnderTheReportingKey) {
  std::string path = localFile("satis_ozet_gunluk.html", "<p>gunluk</p>");
  EXPECT_EQ(1, uploadReport(path, "gunluk.html", company));
  EXPECT_EQ("<p>gunluk</p>", test::readFile(server->remotePath("demo", "a1b2c3_gunluk.html")));

  company.raporlamahash = "";
  EXPECT_EQ(1, uploadReport(path, "gunluk.html", company));
  EXPECT_EQ("<p>gunluk</p>", test::readFile(server->remotePath("demo", "_gunluk.html")));

  company.compfolder = "missing";
  EXPECT_EQ(0, uploadReport(path, "gunluk.html", company));
  company.compfolder = "demo";
  EXPECT_EQ(0, uploadReport(local + "/not-written.html", "gunluk.html", company));
}

TEST_F(Upload, LogInFailuresGiveMinusTwo) {
  std::string path = localFile("a.txt", "a");

  // nothing listening
  test::writeSettings({{"ftphost", test::otherAddress(1) + ":2121"}});
  EXPECT_EQ(-2, uploadFile("a.txt", path, company));

  // a server that refuses the agent's log-in
  test::FtpServer& denying = test::ftpServer(2125, "deny-login");
  test::writeSettings({{"ftphost", denying.settingValue()}});
  EXPECT_EQ(-2, uploadFile("a.txt", path, company));
  EXPECT_FALSE(test::fileExists(denying.remotePath("demo", "a.txt")));

  // a wrong password of our own
  FtpAccount account = uploadAccount();
  account.host = server->address;
  account.port = server->port;
  account.password = "wrong";
  EXPECT_EQ(-2, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", path));

  EXPECT_FALSE(test::fileExists(server->remotePath("demo", "a.txt")));
}

TEST_F(Upload, MissingRemoteFolderGivesMinusFiveAndIsNotCreated) {
  company.compfolder = "nosuch";
  std::string path = localFile("a.txt", "a");
  size_t mark = logMark();
  EXPECT_EQ(-5, uploadFile("a.txt", path, company));
  EXPECT_FALSE(test::fileExists(server->root + "/httpdocs/customer_yedek/nosuch"));
  std::string log = logSince(mark);
  EXPECT_EQ(std::string::npos, log.find("MKD")) << log;
  EXPECT_EQ(std::string::npos, log.find("STOR")) << log;
  // the folder step comes before the local file is looked at
  EXPECT_EQ(-5, uploadFile("a.txt", local + "/absent", company));
}

TEST_F(Upload, MissingLocalFileGivesMinusElevenAndLeavesTheRemoteFile) {
  std::string path = localFile("gider.dat", "kept");
  ASSERT_EQ(9, uploadFile("gider.dat", path, company));
  size_t mark = logMark();
  EXPECT_EQ(-11, uploadFile("gider.dat", local + "/absent.dat", company));
  EXPECT_EQ("kept", test::readFile(server->remotePath("demo", "gider.dat")));
  std::string log = logSince(mark);
  EXPECT_NE(std::string::npos, log.find("<- CWD")) << log;
  EXPECT_EQ(std::string::npos, log.find("STOR")) << log;

  // a folder is not a file
  EXPECT_EQ(-11, uploadFile("gider.dat", local, company));
  EXPECT_EQ("kept", test::readFile(server->remotePath("demo", "gider.dat")));
}

TEST_F(Upload, RefusedStorGivesMinusEleven) {
  std::string path = localFile("a.txt", "a");
  FtpAccount account = uploadAccount();
  account.user = "readonly";
  account.password = "readonly";
  EXPECT_EQ(-11, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", path));
  EXPECT_FALSE(test::fileExists(server->remotePath("demo", "a.txt")));
}

TEST_F(Upload, LineBreaksInNamesCannotSendCommands) {
  std::string victim = localFile("victim.txt", "victim");
  ASSERT_EQ(9, uploadFile("victim.txt", victim, company));
  size_t mark = logMark();

  company.compfolder = "demo\r\nDELE victim.txt";
  EXPECT_EQ(-5, uploadFile("a.txt", victim, company));
  company.compfolder = "demo\nRMD x";
  EXPECT_EQ(-5, uploadFile("a.txt", victim, company));
  company.compfolder = "demo";
  EXPECT_EQ(-11, uploadFile("a.txt\r\nDELE victim.txt", victim, company));
  EXPECT_EQ(-11, uploadFile(std::string("a.txt\0DELE victim.txt", 21), victim, company));

  FtpAccount account = uploadAccount();
  account.user = "brevanotica\r\nDELE victim.txt";
  EXPECT_EQ(-2, ftpPutFile(account, "httpdocs/customer_yedek/demo", "a.txt", victim));
  account = uploadAccount();
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

class SilentServer : public Upload, public ::testing::WithParamInterface<StallCase> {};

TEST_P(SilentServer, GivesUpWithinTheBound) {
  const StallCase& c = GetParam();
  setFtpTimeouts(c.timeouts);
  test::FtpServer& stalling = test::ftpServer(c.port, c.mode);
  test::writeSettings({{"ftphost", stalling.settingValue()}});
  std::string path = localFile("a.txt", awkwardBytes(c.size));
  std::remove(stalling.remotePath("demo", "a.txt").c_str());
  Clock::time_point start = Clock::now();
  EXPECT_EQ(c.expected, uploadFile("a.txt", path, company));
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
TEST_F(Upload, AnUploadEndsAtItsOverallBound) {
  setFtpTimeouts(FtpTimeouts{30, 30, 30, 2});
  test::FtpServer& stalling = test::ftpServer(2124, "stall-stor");
  test::writeSettings({{"ftphost", stalling.settingValue()}});
  Clock::time_point start = Clock::now();
  EXPECT_EQ(-11, uploadFile("a.txt", localFile("a.txt", "a"), company));
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

// "host" or "host:port" with a port from 1 to 65535. Any other value stays
// whole as the host name, which no upload reaches: a bad setting fails every
// upload instead of sending it to the compiled-in host or to a port the value
// did not name.
TEST_F(Upload, HostSettingOrTheDefault) {
  test::writeSettings({});
  FtpAccount a = uploadAccount();
  EXPECT_EQ("ftp.ostrelian.com.tr", a.host);
  EXPECT_EQ(21, a.port);
  EXPECT_EQ("brevanotica", a.user);
  EXPECT_EQ("wKup3h58", a.password);

  const std::string h = server->address;
  struct Case {
    std::string value, host;
    int port;
  } cases[] = {{"", "ftp.ostrelian.com.tr", 21},
               {"ftp.example.test", "ftp.example.test", 21},
               {h + ":2121", h, 2121},
               {h + ":1", h, 1},
               {h + ":65535", h, 65535},
               // refused
               {h + ":0", h + ":0", 21},
               {h + ":65536", h + ":65536", 21},
               {h + ":0002121", h + ":0002121", 21},
               {h + ":ftp", h + ":ftp", 21},
               {h + ":21a", h + ":21a", 21},
               {h + ":", h + ":", 21},
               {":2121", ":2121", 21},
               {h + ":2121:2121", h + ":2121:2121", 21}};
  std::string path = localFile("a.txt", "a");
  size_t mark = logMark();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    test::writeSettings({{"ftphost", c.value}});
    a = uploadAccount();
    EXPECT_EQ(c.host, a.host);
    EXPECT_EQ(c.port, a.port);
    if (a.host == c.value && c.value.find(':') != std::string::npos) {
      EXPECT_EQ(-2, uploadFile("a.txt", path, company));
    }
  }
  EXPECT_EQ(mark, logMark()) << "the server at " << h << ":2121 saw a connection";

  test::writeSettings({{"ipno", "127.0.0.1"}});
  EXPECT_EQ("ftp.ostrelian.com.tr", uploadAccount().host);
}

// ftptls against real servers: pure-ftpd requiring TLS on control and data
// (it answers a plain USER with 421, before any password: a success there
// means the log-in crossed encrypted), pure-ftpd offering TLS, pyftpdlib
// without TLS. Both pure-ftpd servers have self-signed certificates and
// their own account (ftpuser, ftppassword).
TEST_F(Upload, TlsAsTheSettingAsks) {
  test::FtpsServer& required = test::ftpsServer(2131, 3);
  test::FtpsServer& offered = test::ftpsServer(2132, 1);
  test::FtpServer& noProt = test::ftpServer(2133, "tls-no-prot");
  test::createFolderTree(noProt.remotePath("demo", ""));
  std::string agentLog = local + "/kestrune.log";
  openLog(agentLog);
  struct Case {
    test::FtpsServer* tlsServer;  // null: the plain server
    const char* setting;
    int expected;
    const char* logged;
    const char* caption;
    test::FtpServer* plainServer = nullptr;  // in place of `server`
  } cases[] = {
      {&required, "try", 9, ", TLS", ""},
      {&required, nullptr, 9, ", TLS", ""},
      {&required, "Maybe", 9, ", TLS", "FTP_TLS"},
      {&required, "off", -2, ", plain", ""},
      {&required, "require", -2, ", plain", "FTP_TLS"},
      {&offered, "try", 9, ", TLS", ""},
      {&offered, "off", 9, ", plain", ""},
      {&offered, "require", -2, ", plain", "FTP_TLS"},
      {nullptr, "try", 9, ", plain", ""},
      {nullptr, "require", -2, ", plain", "FTP_TLS"},
      // pyftpdlib taking AUTH TLS but refusing PROT P: TLS for the log-in only
      {nullptr, "try", 9, ", TLS log-in, plain data", "", &noProt},
  };
  int n = 0;
  for (const Case& c : cases) {
    test::FtpServer* plain = c.plainServer ? c.plainServer : server;
    std::string remote =
        c.tlsServer ? c.tlsServer->remotePath("demo", "t.dat") : plain->remotePath("demo", "t.dat");
    SCOPED_TRACE(remote + " ftptls=" + (c.setting ? c.setting : "(none)"));
    std::map<std::string, std::string> settings = {{"ftphost", plain->settingValue()}};
    if (c.tlsServer)
      settings = {{"ftphost", c.tlsServer->settingValue()},
                  {"ftpuser", test::kFtpsUser},
                  {"ftppassword", test::kFtpsPassword}};
    if (c.setting) settings["ftptls"] = c.setting;
    test::writeSettings(settings);
    std::remove(remote.c_str());
    std::string bytes = awkwardBytes(70000 + ++n);
    size_t mark = test::readFile(agentLog).size();
    test::CapturedErrors errors;
    EXPECT_EQ(c.expected, uploadFile("t.dat", localFile("t.dat", bytes), company));
    uploadAccount();  // an odd value is reported once only
    EXPECT_EQ(c.caption, errors.captions());
    EXPECT_EQ(c.expected == 9 ? bytes : "", test::readFile(remote));
    std::string line = " upload t.dat: " + std::to_string(c.expected) + c.logged + "\n";
    std::string log = test::readFile(agentLog).substr(mark);
    EXPECT_NE(std::string::npos, log.find(line)) << log;
  }
  openLog("");
}

// `require` trusts what the system trusts. A child in a mount namespace of
// its own sees the test server's certificate as the system's CA bundle.
TEST_F(Upload, RequireUploadsToACertificateTheSystemTrusts) {
  test::FtpsServer& required = test::ftpsServer(2131, 3);
  test::writeSettings({{"ftphost", required.settingValue()},
                       {"ftpuser", test::kFtpsUser},
                       {"ftppassword", test::kFtpsPassword},
                       {"ftptls", "require"}});
  std::string bytes = awkwardBytes(5000), path = localFile("trusted.dat", bytes);
  const char* bundle = "/etc/ssl/certs/ca-certificates.crt";
  pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        ::mount((required.certificate + ".crt").c_str(), bundle, nullptr, MS_BIND, nullptr))
      ::_exit(100);
    ::_exit(uploadFile("trusted.dat", path, company) == 9 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 100) GTEST_SKIP() << "no mount namespace";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(bytes, test::readFile(required.remotePath("demo", "trusted.dat")));
}

// A password in a settings file other users can read is reported, without
// the password; the agent goes on.
TEST_F(Upload, PasswordInAFileOthersCanReadIsReported) {
  std::string file = test::testDir() + "/config/Ostrelian/Melrova.ini";
  struct Case {
    bool password;
    mode_t mode;
    const char* caption;
  } cases[] = {
      {true, 0644, "SETTINGS"}, {true, 0640, "SETTINGS"}, {true, 0600, ""}, {false, 0644, ""}};
  for (const Case& c : cases) {
    std::map<std::string, std::string> settings = {{"ftphost", server->settingValue()}};
    if (c.password) settings["ftppassword"] = "Gizli-Sifre-42";
    test::writeSettings(settings);
    ::chmod(file.c_str(), c.mode);
    test::CapturedErrors errors;
    checkUploadSettings();
    EXPECT_EQ(c.caption, errors.captions()) << c.password << " " << c.mode;
    for (const auto& e : errors.all()) EXPECT_EQ(std::string::npos, e.second.find("Gizli"));
  }
}

}  // namespace
}  // namespace kestrune
