// WinINet uploads against real FTP servers that tools/test-windows starts on
// its loopback address: one per mode (normal, silent, stall-cwd, stall-stor)
// and a port where nothing listens. Their addresses arrive in the
// environment; the normal server's root is reachable through drive Z:.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/ftp.h"

namespace kestrune {
namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

FtpAccount account(const char* portVariable) {
  FtpAccount a;
  a.host = env("KESTRUNE_FTP_HOST");
  a.port = std::atoi(env(portVariable).c_str());
  a.user = "brevanotica";
  a.password = "wKup3h58";
  a.agentName = "Ftp_Melrova";
  return a;
}

std::string remoteFile(const std::string& folder, const std::string& name) {
  std::string path = env("KESTRUNE_FTP_ROOT") + "\\httpdocs\\customer_yedek\\";
  if (!folder.empty()) path += folder + "\\";
  return path + name;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string localFile(const std::string& name, const std::string& bytes) {
  CreateDirectoryA("C:\\upload", nullptr);
  std::string path = "C:\\upload\\" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

class Ftp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("KESTRUNE_FTP_HOST").empty()) << "run by tools/test-windows";
    FtpTimeouts shortOnes;
    shortOnes.connectSeconds = 3;
    shortOnes.responseSeconds = 3;
    shortOnes.stallSeconds = 3;
    setFtpTimeouts(shortOnes);
  }
  void TearDown() override { setFtpTimeouts(FtpTimeouts()); }
};

TEST_F(Ftp, UploadsBinaryFileIntoTheCompanyFolderAndReplacesIt) {
  std::string bytes(200000, '\0');
  std::mt19937 random(7);
  for (char& c : bytes) c = static_cast<char>(random());
  bytes.replace(0, 5, "\r\n\n\r\x1A");  // no line-end translation in binary mode
  std::string local = localFile("gider.dat", bytes);
  EXPECT_EQ(kFtpDone, ftpPutFile(account("KESTRUNE_FTP_PORT_NORMAL"),
                                 "httpdocs/customer_yedek/demo", "gider.dat", local));
  EXPECT_EQ(bytes, readAll(remoteFile("demo", "gider.dat")));

  local = localFile("gider.dat", "second run");
  EXPECT_EQ(kFtpDone, ftpPutFile(account("KESTRUNE_FTP_PORT_NORMAL"),
                                 "httpdocs/customer_yedek/demo", "gider.dat", local));
  EXPECT_EQ("second run", readAll(remoteFile("demo", "gider.dat")));
}

TEST_F(Ftp, EmptyCompanyFolderUploadsIntoTheParentFolder) {
  std::string local = localFile("satis_ozet_gunluk.html", "<html></html>");
  EXPECT_EQ(kFtpDone, ftpPutFile(account("KESTRUNE_FTP_PORT_NORMAL"), "httpdocs/customer_yedek/",
                                 "_gunluk.html", local));
  EXPECT_EQ("<html></html>", readAll(remoteFile("", "_gunluk.html")));
}

TEST_F(Ftp, EachFailingStepGivesItsCode) {
  std::string local = localFile("aylik.html", "aylik");
  FtpAccount normal = account("KESTRUNE_FTP_PORT_NORMAL");

  FtpAccount wrongPassword = normal;
  wrongPassword.password = "wrong";
  EXPECT_EQ(kFtpConnectFailed,
            ftpPutFile(wrongPassword, "httpdocs/customer_yedek/demo", "a.html", local));
  EXPECT_EQ(kFtpConnectFailed, ftpPutFile(account("KESTRUNE_FTP_PORT_CLOSED"),
                                          "httpdocs/customer_yedek/demo", "a.html", local));

  EXPECT_EQ(kFtpFolderFailed,
            ftpPutFile(normal, "httpdocs/customer_yedek/nosuchfolder", "a.html", local));

  EXPECT_EQ(kFtpPutFailed,
            ftpPutFile(normal, "httpdocs/customer_yedek/demo", "a.html", "C:\\upload\\missing.html"));
  FtpAccount readOnly = normal;
  readOnly.user = readOnly.password = "readonly";
  EXPECT_EQ(kFtpPutFailed, ftpPutFile(readOnly, "httpdocs/customer_yedek/demo", "a.html", local));
  EXPECT_FALSE(std::ifstream(remoteFile("demo", "a.html")).good());
}

// Servers that fall silent at each step: every call returns, with the code of
// the step, instead of blocking the report thread for good. The three run at
// once. (Wine's WinINet keeps its own limits for FTP, 30 seconds a reply and
// 60 for the greeting, whatever the options say; Windows takes the options.)
TEST_F(Ftp, SilentServersDoNotHoldTheCallerForever) {
  std::string local = localFile("gunluk.html", "gunluk");
  struct Case {
    const char* port;
    int expected;
    int result = 0;
    ULONGLONG ms = 0;
  } cases[] = {{"KESTRUNE_FTP_PORT_SILENT", kFtpConnectFailed},
               {"KESTRUNE_FTP_PORT_STALL_CWD", kFtpFolderFailed},
               {"KESTRUNE_FTP_PORT_STALL_STOR", kFtpPutFailed}};
  std::vector<std::thread> threads;
  for (Case& c : cases) {
    threads.emplace_back([&c, &local] {
      ULONGLONG start = GetTickCount64();
      c.result = ftpPutFile(account(c.port), "httpdocs/customer_yedek/demo", "g.html", local);
      c.ms = GetTickCount64() - start;
    });
  }
  for (std::thread& t : threads) t.join();
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, c.result) << c.port;
    EXPECT_LT(c.ms, 100000u) << c.port;
    std::printf("%s: %d after %llu ms\n", c.port, c.result, static_cast<unsigned long long>(c.ms));
  }
}

}  // namespace
}  // namespace kestrune
