// What the agent does when the FTP server or the local disk fails it: the
// server down, refusing the log-in, without the restaurant's folder,
// refusing the file, or silent; a full disk under the report and gider.dat;
// folders removed while the agent runs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/app_state.h"
#include "app/export_run.h"
#include "app/report_runs.h"
#include "platform/clock.h"
#include "platform/ftp.h"
#include "tests/support/faults.h"

namespace kestrune {
namespace {

using test::Clock;
using test::secondsSince;
using test::summaryRow;

namespace fs = std::filesystem;

// FTP time-outs of these tests: connect and log-in 2 s, each reply 3 s, a
// stalled transfer 3 s. KESTRUNE_FAULTS_REAL_FTP_TIMEOUTS=1 keeps the
// agent's own (30 s, 60 s, 30 s) to measure them.
FtpTimeouts testTimeouts() {
  const char* real = std::getenv("KESTRUNE_FAULTS_REAL_FTP_TIMEOUTS");
  return real && std::string(real) == "1" ? FtpTimeouts{} : FtpTimeouts{2, 3, 3};
}

class TransferFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LC_ALL", "C", 1);
    setFtpTimeouts(testTimeouts());
    shop.seed("root", kPort);
    test::fixClock(test::localStamp(2026, 3, 10, 13, 0));
  }
  void TearDown() override {
    setClockSource(nullptr);
    setFtpTimeouts(FtpTimeouts{});
    ::unsetenv("LC_ALL");
    test::ftpServer(kPort, "normal");
  }
  std::string islendi() const {
    return shop.db->scalar("SELECT GROUP_CONCAT(islendi ORDER BY Id) FROM expenses.moves");
  }
  static constexpr int kPort = 2131;
  test::Restaurant shop;
};

// One way the server fails; `bound` is the time-out that ends the wait.
struct ServerFault {
  const char* name;
  const char* mode;  // the server's mode while it fails; "down": not running
  bool folderMissing;
  double bound;  // seconds, with the test time-outs
};

class FailingServer : public TransferFaults, public ::testing::WithParamInterface<ServerFault> {
 protected:
  void fail() {
    const ServerFault& f = GetParam();
    if (std::string(f.mode) == "down")
      shop.ftp->stop();
    else
      test::ftpServer(kPort, f.mode);
    if (f.folderMissing)
      fs::rename(shop.remote(""), shop.remote("").substr(0, shop.remote("").size() - 1) + ".away");
  }
  void recover() {
    const ServerFault& f = GetParam();
    if (f.folderMissing)
      fs::rename(shop.remote("").substr(0, shop.remote("").size() - 1) + ".away", shop.remote(""));
    test::ftpServer(kPort, "normal");
  }
};

TEST_P(FailingServer, NothingCountedNothingMarkedBoundedAndTheNextRunSucceeds) {
  const ServerFault& f = GetParam();
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  fail();
  auto started = Clock::now();
  runDailyReport(app.reports, app.shared);
  double report = secondsSince(started);
  started = Clock::now();
  runExpenseExport(app.exports, app.shared);
  double exportTime = secondsSince(started);
  EXPECT_EQ(0, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(0, app.shared.status.exportsUploaded.load());
  EXPECT_EQ(1, app.shared.status.exportsCompleted.load());
  EXPECT_EQ("0,0", islendi()) << "no row marked";
  EXPECT_EQ(0u, errors.count()) << "upload failures show nothing: " << errors.captions();
  const FtpTimeouts t = testTimeouts();
  double bound = f.bound > 0 ? (f.bound == 2 ? t.connectSeconds : t.responseSeconds) : 0;
  EXPECT_LT(report, bound + 5.0);
  EXPECT_LT(exportTime, bound + 5.0);

  recover();
  EXPECT_FALSE(test::fileExists(shop.remote("h1_gunluk.html")));
  runDailyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(1, app.shared.status.exportsUploaded.load());
  EXPECT_EQ("1,1", islendi());
  EXPECT_NE(std::string::npos, test::pageText(test::readFile(shop.remote("h1_gunluk.html")))
                                   .find(summaryRow("Nakit", "100.00")));
  EXPECT_EQ(3u, test::checkExpenseFile(test::readFile(shop.remote("gider.dat"))).size());
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingServer,
                         ::testing::Values(ServerFault{"down", "down", false, 0},
                                           ServerFault{"loginRefused", "deny-login", false, 0},
                                           ServerFault{"folderMissing", "normal", true, 0},
                                           ServerFault{"storRefused", "deny-stor", false, 0},
                                           ServerFault{"silent", "silent", false, 2},
                                           ServerFault{"silentAtCwd", "stall-cwd", false, 3},
                                           ServerFault{"silentAtStor", "stall-stor", false, 3}),
                         [](const auto& param) { return std::string(param.param.name); });

// A tmpfs of a few pages mounted as the agent's root folder.
class FullDisk : public TransferFaults {
 protected:
  void SetUp() override {
    TransferFaults::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "a full disk needs root to mount a small tmpfs";
    if (::mount("tmpfs", shop.root.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs on " << shop.root << ": " << std::strerror(errno);
    mounted = true;
  }
  void TearDown() override {
    if (mounted && ::umount2(shop.root.c_str(), 0) != 0) ::umount2(shop.root.c_str(), MNT_DETACH);
    TransferFaults::TearDown();
  }
  // Fills the disk up to `room` bytes.
  void fill(size_t room) {
    std::FILE* f = std::fopen((shop.root + "/filler").c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    // give back `room` bytes
    fs::resize_file(shop.root + "/filler", fs::file_size(shop.root + "/filler") - room);
  }
  void unfill() { fs::remove(shop.root + "/filler"); }
  std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().extension() == ".tmp") names.push_back(e.path().filename().string());
    return names;
  }
  bool mounted = false;
};

TEST_F(FullDisk, ReportKeepsTheLastWholeDocumentAndSendsNothing) {
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  runDailyReport(app.reports, app.shared);
  ASSERT_EQ(1, app.shared.status.dailyReportsSent.load());
  std::string local = shop.root + "/satislar/satis_ozet_gunluk.html";
  std::string before = test::readFile(local);
  ASSERT_EQ(before, test::readFile(shop.remote("h1_gunluk.html")));

  shop.db->exec(
      "INSERT INTO satislar.shopcharts (transid,ordtyp,cashsum,tmstmp) VALUES (2,3,1,'2026-03-10 "
      "12:30:00')");
  fill(1024);
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ("WRITE_SATIS_OZET", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("space")) << errors.all()[0].second;
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(before, test::readFile(local)) << "the last whole document stays";
  EXPECT_EQ(before, test::readFile(shop.remote("h1_gunluk.html"))) << "nothing sent";
  EXPECT_TRUE(leftovers(shop.root + "/satislar").empty());

  unfill();
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ(2, app.shared.status.dailyReportsSent.load());
  EXPECT_NE(std::string::npos, test::pageText(test::readFile(shop.remote("h1_gunluk.html")))
                                   .find(summaryRow("Nakit", "101.00")));
}

TEST_F(FullDisk, ExportWritesSendsAndMarksNothingUntilThereIsRoom) {
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  runExpenseExport(app.exports, app.shared);
  ASSERT_EQ("1,1", islendi());
  std::string local = shop.root + "/giderler/gider.dat";
  std::string before = test::readFile(local);
  ASSERT_EQ(3u * 544, before.size());

  // 1,000 more movements: 545 KB, more than the whole disk
  shop.db->exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
      "islendi) SELECT 100 + seq, seq, 5, 1, seq, NOW(), CURDATE(), '', 0 FROM "
      "expenses.seq_1_to_1000");
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ("WRITE_GIDER_DAT", errors.captions());
  EXPECT_EQ(before, test::readFile(local));
  EXPECT_EQ(before, test::readFile(shop.remote("gider.dat")));
  EXPECT_EQ("1000", shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 0"));
  EXPECT_TRUE(leftovers(shop.root + "/giderler").empty());
  EXPECT_EQ(1, app.shared.status.exportsUploaded.load());
  EXPECT_EQ(2, app.shared.status.exportsCompleted.load());

  ASSERT_EQ(0, ::mount("tmpfs", shop.root.c_str(), "tmpfs", MS_REMOUNT, "size=4m"));
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(1003u * 544, test::readFile(shop.remote("gider.dat")).size());
  EXPECT_EQ("0", shop.db->scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 0"));
  EXPECT_EQ(1u, errors.count());
}

// Folders a person removes while the agent runs come back with the next run;
// a missing desktop is left alone.
TEST_F(TransferFaults, FoldersRemovedWhileRunningAreMadeAgain) {
  test::CapturedErrors errors;
  AppState app;
  openAgentData(app);
  EXPECT_TRUE(test::fileExists(shop.root + "/satislar"));
  EXPECT_FALSE(test::fileExists(shop.root + "/giderler")) << "made by the first export";
  EXPECT_FALSE(test::fileExists(std::string(std::getenv("HOME")) + "/Desktop"));

  fs::remove_all(shop.root + "/satislar");
  runDailyReport(app.reports, app.shared);
  EXPECT_EQ(1, app.shared.status.dailyReportsSent.load());
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(1, app.shared.status.exportsUploaded.load());

  fs::remove_all(shop.root);
  runDailyReport(app.reports, app.shared);
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(2, app.shared.status.dailyReportsSent.load());
  EXPECT_EQ(2, app.shared.status.exportsUploaded.load());
  EXPECT_TRUE(test::fileExists(shop.root + "/satislar/satis_ozet_gunluk.html"));
  EXPECT_TRUE(test::fileExists(shop.root + "/giderler/gider.dat"));
  EXPECT_FALSE(test::fileExists(std::string(std::getenv("HOME")) + "/Desktop"));
  EXPECT_EQ(0u, errors.count()) << errors.captions();
}

}  // namespace
}  // namespace kestrune
