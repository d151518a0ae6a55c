// The agent's local folders: root and sales folders made on a new
// installation, the "getir" folder on the desktop.
#include <gtest/gtest.h>

#include <cstdlib>

#include "reports/folders.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::fileExists;

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    home = test::freshFolder("home");
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_DESKTOP_DIR");
    test::writeSettings({{"ipno", test::testAddress()}});
  }
  void TearDown() override { ::unsetenv("XDG_DESKTOP_DIR"); }
  std::string home;
  CapturedErrors errors;
};

TEST_F(Folders, NewInstallationGetsRootAndSalesFolders) {
  ReportFolders f;
  initReportFolders(f);
  EXPECT_EQ(home + "/Melrova", f.rootFolder);
  EXPECT_EQ(home + "/Melrova/giderler", f.expenseFolder);
  EXPECT_EQ(home + "/Melrova/satislar", f.salesFolder);
  EXPECT_TRUE(fileExists(f.rootFolder));
  EXPECT_TRUE(fileExists(f.salesFolder));
  EXPECT_FALSE(fileExists(f.expenseFolder)) << "made by the expense export";
  EXPECT_EQ(0u, errors.count());

  // an existing tree stays as it is
  test::writeFile(f.salesFolder + "/gunluk.html", "kept");
  ReportFolders again;
  initReportFolders(again);
  EXPECT_EQ("kept", test::readFile(f.salesFolder + "/gunluk.html"));
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Folders, SettingsValueRootMovesAllThree) {
  std::string elsewhere = test::freshFolder("elsewhere") + "/Kasa";
  test::writeSettings({{"ipno", test::testAddress()}, {"root", elsewhere}});
  ReportFolders f;
  initReportFolders(f);
  EXPECT_EQ(elsewhere, f.rootFolder);
  EXPECT_EQ(elsewhere + "/giderler", f.expenseFolder);
  EXPECT_EQ(elsewhere + "/satislar", f.salesFolder);
  EXPECT_TRUE(fileExists(elsewhere + "/satislar"));
  EXPECT_FALSE(fileExists(home + "/Melrova"));
}

TEST_F(Folders, RootThatCannotBeMadeIsReported) {
  std::string root = test::testDir() + "/no/such/parent/Melrova";
  test::writeSettings({{"ipno", test::testAddress()}, {"root", root}});
  ReportFolders f;
  initReportFolders(f);
  EXPECT_EQ(root + "/satislar", f.salesFolder);
  EXPECT_FALSE(fileExists(root));
  ASSERT_EQ(2u, errors.count());
  EXPECT_EQ("INIT_REPORT_FOLDERS,INIT_REPORT_FOLDERS", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find(root));
}

TEST_F(Folders, GetirFolderOnTheDesktopOnce) {
  std::string desktop = test::freshFolder("masaustu");
  ::setenv("XDG_DESKTOP_DIR", desktop.c_str(), 1);
  ReportFolders f;
  initReportFolders(f);
  EXPECT_EQ(u'/', f.desktopPathWide.front());
  EXPECT_TRUE(fileExists(desktop + "/getir"));
  test::writeFile(desktop + "/getir/siparis.txt", "x");

  ReportFolders second;
  initReportFolders(second);
  EXPECT_TRUE(fileExists(desktop + "/getir/siparis.txt"));
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Folders, MissingDesktopIsSkipped) {
  ReportFolders f;
  initReportFolders(f);  // $HOME/Desktop does not exist
  EXPECT_FALSE(fileExists(home + "/Desktop"));
  EXPECT_FALSE(fileExists(home + "/Desktop/getir"));

  ::setenv("XDG_DESKTOP_DIR", (home + "/Schreibtisch").c_str(), 1);
  initReportFolders(f);
  EXPECT_FALSE(fileExists(home + "/Schreibtisch"));
  EXPECT_EQ(0u, errors.count());

  test::freshFolder("home/Desktop");
  ::unsetenv("XDG_DESKTOP_DIR");
  initReportFolders(f);
  EXPECT_TRUE(fileExists(home + "/Desktop/getir"));
}

}  // namespace
}  // namespace kestrune
