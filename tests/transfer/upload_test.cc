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

using test::awkwardBytes;

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
