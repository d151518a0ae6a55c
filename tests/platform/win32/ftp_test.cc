// Uploads against real FTP servers that tools/test-windows starts on its
// loopback address: one per mode (normal, silent, stall-cwd, stall-stor), an
// FTPS server that requires TLS on control and data (self-signed), and a port
// where nothing listens. Their addresses arrive in the environment; the
// servers' roots are reachable through drive Z:.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

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
  return a;
}

FtpAccount tlsAccount(FtpTls tls) {
  FtpAccount a = account("KESTRUNE_FTPS_PORT");
  a.user = env("KESTRUNE_FTPS_USER");
  a.password = env("KESTRUNE_FTPS_PASSWORD");
  a.tls = tls;
  return a;
}

std::string remoteFile(const std::string& folder, const std::string& name,
                       const char* root = "KESTRUNE_FTP_ROOT") {
  std::string path = env(root) + "\\httpdocs\\customer_yedek\\";
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

  EXPECT_EQ(kFtpPutFailed, ftpPutFile(normal, "httpdocs/customer_yedek/demo", "a.html",
                                      "C:\\upload\\missing.html"));
  FtpAccount readOnly = normal;
  readOnly.user = readOnly.password = "readonly";
  EXPECT_EQ(kFtpPutFailed, ftpPutFile(readOnly, "httpdocs/customer_yedek/demo", "a.html", local));
  EXPECT_FALSE(std::ifstream(remoteFile("demo", "a.html")).good());
}

TEST_F(Ftp, TryUploadsOverTlsToAServerThatRequiresIt) {
  std::string bytes(100000, '\0');
  std::mt19937 random(11);
  for (char& c : bytes) c = static_cast<char>(random());
  std::string local = localFile("tls.dat", bytes);
  FtpOutcome outcome;
  EXPECT_EQ(kFtpDone, ftpPutFile(tlsAccount(FtpTls::kTry), "httpdocs/customer_yedek/demo",
                                 "tls.dat", local, &outcome));
  EXPECT_TRUE(outcome.tls);
  EXPECT_EQ(bytes, readAll(remoteFile("demo", "tls.dat", "KESTRUNE_FTPS_ROOT")));
}

// The server takes no log-in in clear: `off` cannot log in.
TEST_F(Ftp, OffCannotLogInWhereTheServerWantsTls) {
  std::string local = localFile("off.html", "off");
  FtpOutcome outcome;
  EXPECT_EQ(kFtpConnectFailed, ftpPutFile(tlsAccount(FtpTls::kOff), "httpdocs/customer_yedek/demo",
                                          "off.html", local, &outcome));
  EXPECT_FALSE(outcome.tls);
  EXPECT_FALSE(std::ifstream(remoteFile("demo", "off.html", "KESTRUNE_FTPS_ROOT")).good());
}

// `require` trusts what Windows' Root store trusts: the server's own
// certificate sends nothing until the user's store holds it, then uploads.
TEST_F(Ftp, RequireTrustsWhatTheRootStoreTrusts) {
  std::string local = localFile("require.html", "require");
  FtpOutcome outcome;
  EXPECT_EQ(kFtpConnectFailed,
            ftpPutFile(tlsAccount(FtpTls::kRequire), "httpdocs/customer_yedek/demo", "require.html",
                       local, &outcome));
  EXPECT_NE(std::string::npos, outcome.tlsProblem.find("not trusted")) << outcome.tlsProblem;
  EXPECT_FALSE(std::ifstream(remoteFile("demo", "require.html", "KESTRUNE_FTPS_ROOT")).good());

  std::string pem = readAll(env("KESTRUNE_FTPS_CERT"));
  BYTE der[8192];
  DWORD size = sizeof der;
  ASSERT_TRUE(CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der, &size, nullptr,
                                   nullptr));
  HCERTSTORE root =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
  ASSERT_TRUE(root);
  EXPECT_TRUE(CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, size,
                                               CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
  CertCloseStore(root, 0);
  EXPECT_EQ(kFtpDone, ftpPutFile(tlsAccount(FtpTls::kRequire), "httpdocs/customer_yedek/demo",
                                 "require.html", local, &outcome))
      << outcome.tlsProblem;
  EXPECT_TRUE(outcome.tls);
  EXPECT_EQ("require", readAll(remoteFile("demo", "require.html", "KESTRUNE_FTPS_ROOT")));
}

// Servers that fall silent at each step: every call returns, with the code of
// the step, within the time-outs, instead of blocking the report thread for
// good. The three run at once.
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
    EXPECT_LT(c.ms, 15000u) << c.port;
    std::printf("%s: %d after %llu ms\n", c.port, c.result, static_cast<unsigned long long>(c.ms));
  }
}

}  // namespace
}  // namespace kestrune
