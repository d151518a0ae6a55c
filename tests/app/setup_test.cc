// kestrune setup and the settings file as people and editors leave it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "app/setup.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

std::string settingsPath() {
  static const std::string folder = test::testDir() + "/config/Ostrelian";
  test::createFolderTree(folder);
  return folder + "/Melrova.ini";
}

int setup(const std::vector<std::string>& args, std::string* out, std::string* err) {
  std::ostringstream o, e;
  int code = runSetup(args, o, e);
  *out = o.str();
  *err = e.str();
  return code;
}

TEST(Setup, RefusesWhatCannotBeMeantAndWritesNothing) {
  const std::string before = "[Server]\nipno=10.0.0.1\n";
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string says;
    bool configIsAFile = false;  // the settings' folder cannot be made
  };
  const std::string notAFolder = test::testDir() + "/config-file";
  const Case cases[] = {
      {{}, 2, "--ipno is needed"},
      {{"--ipno"}, 2, "--ipno needs a value"},
      {{"--ipno", "1.2.3.4", "--port", "1"}, 2, "unknown option --port"},
      {{"--ipno", ""}, 2, "is empty"},
      {{"--ipno", std::string(40, '7')}, 2, "40 characters long"},
      {{"--ipno", "192.168.1.20 db"}, 2, "holds a blank"},
      {{"--ipno", "\"192.168.1.20\""}, 2, "holds a quote"},
      {{"--ipno", "192.168.1.20:3307"}, 2, "holds ':'"},
      {{"--ipno", "a\nftphost=evil"}, 2, "control character"},
      {{"--ipno=1.2.3.4", "--ftphost", "ftp.example:0"}, 2, "port \"0\""},
      {{"--ipno=1.2.3.4", "--ftphost", "ftp.example:65536"}, 2, "1 to 65535"},
      {{"--ipno=1.2.3.4", "--ftphost", "ftp.example:"}, 2, "port \"\""},
      {{"--ipno=1.2.3.4", "--ftphost", ":21"}, 2, "no host name"},
      {{"--ipno=1.2.3.4", "--root", "Melrova"}, 2, "not an absolute path"},
      {{"--ipno", "1.2.3.4"}, 1, "cannot make folder " + notAFolder + ": Not a directory", true},
      {{"--ipno", std::string(39, '7'), "--ftphost=ftp.example:65535", "--root", "/srv/m"},
       0,
       "systemctl --user enable --now kestrune"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    test::writeFile(settingsPath(), before);
    std::string home = std::getenv("XDG_CONFIG_HOME");
    test::writeFile(notAFolder, "");
    if (c.configIsAFile) ::setenv("XDG_CONFIG_HOME", notAFolder.c_str(), 1);
    std::string out, err;
    EXPECT_EQ(c.code, setup(c.args, &out, &err)) << out << err;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    EXPECT_NE(std::string::npos, (c.code ? err : out).find(c.says)) << out << err;
    if (c.code) {
      EXPECT_EQ(before, test::readFile(settingsPath()));
    }
  }
}

TEST(Setup, KeepsEveryOtherLineAndWritesPrivately) {
  struct Case {
    const char* name;
    std::string before, after;
  };
  const Case cases[] = {
      {"no file", "", "[Server]\nipno=192.168.1.20\nroot=/srv/kasa\n"},
      {"no [Server] section", "[Pos]\nkasa=2",
       "[Pos]\nkasa=2\n\n[Server]\nipno=192.168.1.20\nroot=/srv/kasa\n"},
      {"values replaced where they stand, the rest kept",
       "\xEF\xBB\xBF; kasa 1\r\n[Server] ; ayarlar\r\nIPNO=10.0.0.1 ; eski\r\ndbname=pos\r\n\r\n"
       "[Other]\r\nipno=10.9.9.9\r\n[Server]\r\nroot=/old\r\n",
       "\xEF\xBB\xBF; kasa 1\r\n[Server] ; ayarlar\r\nipno=192.168.1.20\r\ndbname=pos\r\n\r\n"
       "[Other]\r\nipno=10.9.9.9\r\n[Server]\r\nroot=/srv/kasa\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(settingsPath().c_str());
    if (!c.before.empty()) test::writeFile(settingsPath(), c.before);
    std::string out, err;
    ASSERT_EQ(0, setup({"--ipno", "192.168.1.20", "--root=/srv/kasa"}, &out, &err)) << err;
    EXPECT_EQ(c.after, test::readFile(settingsPath()));
    EXPECT_NE(std::string::npos, out.find("Wrote " + settingsPath())) << out;
    struct stat st;
    ASSERT_EQ(0, ::stat(settingsPath().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_FALSE(test::fileExists(settingsPath() + ".tmp"));
  }
}

// What editors leave is read as meant; what cannot be meant is found, with its line.
TEST(Settings, ForgivingReadAndFindings) {
  struct Case {
    std::string file;
    int result;
    const char* ipno;
    const char* finding;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF[Server]\nipno=1.2.3.4\n", 0, "1.2.3.4", nullptr},
      {"[Server] ; ayarlar\r\nipno = 1.2.3.4\r\n", 0, "1.2.3.4", nullptr},
      {"# kasa\n[Server]\nipno=192.168.1.20 ; db\nroot=/srv/a;b\n", 0, "192.168.1.20", nullptr},
      {"[Server]\n\nipno=192.168.1.20 db\n", 0, "192.168.1.20 db",
       "line 3: ipno \"192.168.1.20 db\" holds a blank"},
      {"[Server]\nipno='10.0.0.1'\n", 0, "'10.0.0.1'", "line 2: ipno \"'10.0.0.1'\" holds a quote"},
      {"[Server]\nftphost=ftp:99999\nipno=1.2.3.4\n", 0, "1.2.3.4",
       "line 2: ftphost \"ftp:99999\" has the port"},
      {"[Server]\nipno=1.2.3.4\nroot=Melrova\n", 0, "1.2.3.4",
       "line 3: root \"Melrova\" is not an absolute path"},
      {"[Server]\nipno=" + std::string(40, '7') + "\n", -1, "", "line 2: ipno"},
      {"[Server]\nftphost=ftp\n", -1, "", "section (line 1) has no ipno"},
      {"[Other]\nipno=1.2.3.4\n", -2, "", "has no [Server] section"},
      {"", -2, "", "no settings file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ::unlink(settingsPath().c_str());
    if (!c.file.empty()) test::writeFile(settingsPath(), c.file);
    char ipno[40] = {};
    EXPECT_EQ(c.result, readServerSetting("ipno", ipno, sizeof ipno));
    EXPECT_STREQ(c.ipno, ipno);
    std::vector<std::string> findings = settingsFindings(readSettingsFile());
    if (!c.finding) {
      EXPECT_TRUE(findings.empty()) << findings.front();
    } else {
      ASSERT_EQ(1u, findings.size());
      EXPECT_NE(std::string::npos, findings[0].find(c.finding)) << findings[0];
    }
  }
}

}  // namespace
}  // namespace kestrune
