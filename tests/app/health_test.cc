// What an unattended agent leaves behind for the person who looks later: the
// log file and the health lines of the status panel.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

#include "app/app_state.h"
#include "app/status.h"
#include "periods/period.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/log.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

// 2026-12-08 14:00:05 UTC
constexpr int64_t kMoment = 1796738405;

class Health : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    setClockSource([] { return kMoment; });
  }
  void TearDown() override {
    openLog("");
    setClockSource(nullptr);
  }
};

TEST_F(Health, LogRotatesAtItsLimitAndNeverStopsTheCaller) {
  std::string folder = test::freshFolder("log");
  std::string path = folder + "/kestrune.log";
  const std::string stamp = "2026-12-08 14:00:05 ";
  openLog(path, 100);
  logLine("first\r\nline");
  EXPECT_EQ(stamp + "first  line\n", test::readFile(path));
  logLine(std::string(50, 'b'));  // 32 + 71 bytes > 100: a new file begins
  EXPECT_EQ(stamp + "first  line\n", test::readFile(path + ".1"));
  EXPECT_EQ(stamp + std::string(50, 'b') + "\n", test::readFile(path));
  logLine("third line");  // 71 + 31 bytes: the older file is replaced, one is kept
  EXPECT_EQ(stamp + std::string(50, 'b') + "\n", test::readFile(path + ".1"));
  EXPECT_EQ(stamp + "third line\n", test::readFile(path));

  // a folder that is gone: lines are dropped until it is back
  openLog(folder + "/gone/kestrune.log", 100);
  logLine("lost");
  test::freshFolder("log/gone");
  logLine("kept");
  EXPECT_EQ(stamp + "kept\n", test::readFile(folder + "/gone/kestrune.log"));

  // control characters from outside data never reach the file; UTF-8 stays
  std::string stuck = folder + "/stuck/kestrune.log";
  test::freshFolder("log/stuck/kestrune.log.1/full");
  openLog(stuck, 400);
  logLine("Firma \x1b]0;x\x07\x7f Şube");
  EXPECT_EQ(stamp + "Firma ?]0;x?? Şube\n", test::readFile(stuck));
  // kestrune.log.1 cannot be replaced: the file starts over, saying why once
  for (int i = 0; i < 40; ++i) logLine(std::string(30, 'c'));
  std::string text = test::readFile(stuck);
  EXPECT_LE(text.size(), 400u) << text;
  EXPECT_EQ(0u, text.find(stamp + "log: cannot replace " + stuck + ".1: ")) << text;
  EXPECT_NE(std::string::npos, text.find(std::string(30, 'c'))) << text;
}

TEST_F(Health, StatusLinesTellTheLastUploadsTheLastErrorAndTheServers) {
  test::CapturedErrors errors;
  AppState app;
  std::vector<std::string> lines = readStatusPanel(app.shared).healthLines;
  ASSERT_EQ(8u, lines.size());
  EXPECT_EQ("Son günlük rapor: -", lines[0]);
  EXPECT_EQ("Son hata: -", lines[4]);
  EXPECT_EQ("Son kapanan gün: -", lines[6]);
  EXPECT_EQ("Son kapanan ay: -", lines[7]);

  RunOutcome daily;
  daily.uploaded = true;
  recordRun(app.shared.status, RunKind::Daily, daily);
  RunOutcome exported;
  exported.uploaded = true;
  exported.records = 120;
  exported.images = 5;
  exported.imagesWaiting = 2;
  recordRun(app.shared.status, RunKind::Export, exported);
  RunOutcome monthly;
  monthly.reason = "the upload failed";
  recordRun(app.shared.status, RunKind::Monthly, monthly);
  // 90 characters with a line end: the first 80 on one line, whole letters
  showError("READ_COMPANY", "Ş\n" + std::string(88, 'x'));
  app.shared.status.health.closed.dayKnown = app.shared.status.health.closed.monthKnown = true;
  app.shared.status.health.closed.lastDay = dayNumber(2026, 12, 7);
  app.shared.status.health.closed.lastMonth = monthOfDay(dayNumber(2026, 11, 30));

  lines = readStatusPanel(app.shared).healthLines;
  EXPECT_EQ("Son günlük rapor: 08.12.2026 14:00:05", lines[0]);
  EXPECT_EQ("Son aylık rapor: -", lines[1]);
  EXPECT_EQ("Son gider aktarımı: 08.12.2026 14:00:05 (120 kayıt, 5 resim)", lines[2]);
  EXPECT_EQ("Resmini bekleyen hareket: 2", lines[3]);
  EXPECT_EQ("Son hata: 08.12.2026 14:00:05 READ_COMPANY: Ş " + std::string(78, 'x'), lines[4]);
  EXPECT_EQ("Veritabanı: -, FTP sunucusu: -", lines[5]);
  EXPECT_EQ("Son kapanan gün: 07.12.2026", lines[6]);
  EXPECT_EQ("Son kapanan ay: 11.2026", lines[7]);
  // A name refused before any connection is no answer of the server's.
  app.shared.status.ftpAnswered = 1;
  CompanyInfo away;
  away.compfolder = "../elsewhere";
  EXPECT_EQ(-5, uploadForRun(app.shared, app.reports.ftp.session, "a.html", "/nonexistent", away));
  EXPECT_EQ("Veritabanı: -, FTP sunucusu: -", readStatusPanel(app.shared).healthLines[5]);
  StatusPanel panel = readStatusPanel(app.shared);
  panel.companyName = u"K\u00F6\u015Fk\x1b[2J";  // no database text drives the terminal
  panel.companyFolder = "demo\r\n";
  std::string text = statusPanelText(panel);
  EXPECT_EQ(0u, text.find("Firma: Köşk?[2J\n")) << text;
  EXPECT_NE(std::string::npos, text.find("company_folder: demo??\n")) << text;
  EXPECT_EQ(text.size() - lines.back().size() - 1, text.rfind(lines.back()))
      << "health lines come last";
}

}  // namespace
}  // namespace kestrune
