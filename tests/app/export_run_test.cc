// Whole export runs against a real MariaDB and a real FTP server: the reads,
// gider.dat on the server, the receipt images and the marks in the database.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/app_state.h"
#include "app/export_run.h"
#include "db/expenses.h"
#include "db/text.h"
#include "tests/support/records.h"
#include "tests/support/relay.h"
#include "tests/support/servers.h"
#include "tests/support/wait.h"

namespace kestrune {
namespace {

using test::Bytes;
using test::CapturedErrors;
using test::database;
using test::fromBytes;

// Whole export runs: the reads, gider.dat on the FTP server, the receipt
// images and the marks in the database.
class ExportRun : public ::testing::Test {
 protected:
  void SetUp() override {
    database().resetData();
    ftp = &test::ftpServer();
    remoteFolder = ftp->remotePath("demo", "");
    test::freshFolder(remoteFolder.substr(test::testDir().size() + 1));
    root = test::freshFolder("root");
    test::writeStandardSettings(root);
    openConnection(app.exports.expenses.connection);
    app.shared.company.record.compfolder = "demo";
    app.shared.folders.rootFolder = root;
    app.shared.folders.expenseFolder = root + "/giderler";
    std::filesystem::create_directory(app.shared.folders.expenseFolder);
  }
  // A move dated this year (offset 0) or last year (-1).
  void insertMove(int id, const std::string& image, int islendi, int yearOffset = 0) {
    database().exec(
        "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
        "islendi) VALUES (" +
        std::to_string(id) + "," + std::to_string(100 + id) +
        ",1,1,10.0,NOW(),CURRENT_DATE() + INTERVAL " + std::to_string(yearOffset) + " YEAR,'" +
        image + "'," + std::to_string(islendi) + ")");
  }
  std::string islendi(int id) {
    return database().scalar("SELECT islendi FROM expenses.moves WHERE Id=" + std::to_string(id));
  }
  void image(const std::string& name) {
    test::writeFile(app.shared.folders.expenseFolder + "/" + name, "receipt " + name);
  }
  std::string remote(const std::string& name) { return ftp->remotePath("demo", name); }
  // Every file below the FTP server's root, by path relative to it.
  std::vector<std::string> filesOnServer() {
    std::vector<std::string> files;
    for (auto& e : std::filesystem::recursive_directory_iterator(ftp->root))
      if (e.is_regular_file()) files.push_back(e.path().string().substr(ftp->root.size() + 1));
    std::sort(files.begin(), files.end());
    return files;
  }
  std::vector<ExpenseMove> uploadedRecords() {
    std::string file = test::readFile(remote("gider.dat"));
    EXPECT_EQ(0u, file.size() % 544);
    std::vector<ExpenseMove> records;
    for (size_t i = 0; i < file.size() / 544; ++i) records.push_back(fromBytes(file, i));
    return records;
  }

  test::FtpServer* ftp = nullptr;
  std::string remoteFolder, root;
  AppState app;
  CapturedErrors errors;
};

Bytes endRecordBytes(int32_t branchNo) {
  Bytes e;
  e.i32(0, -1);
  e.i32(4, branchNo);
  e.i64(8, -1);
  e.i32(16, -1);
  return e;
}

TEST_F(ExportRun, NoMovementThisYearSendsOnlyTheEndRecord) {
  insertMove(1, "old.jpg", 0, -1);
  image("old.jpg");
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(endRecordBytes(0).b, test::readFile(remote("gider.dat")));
  EXPECT_EQ(std::vector<std::string>{"httpdocs/customer_yedek/demo/gider.dat"}, filesOnServer());
  EXPECT_EQ("0", islendi(1)) << "last year's move is neither exported nor marked";
  EXPECT_EQ(1, app.shared.status.exportsCompleted.load());
  EXPECT_EQ(0u, errors.count());
}

TEST_F(ExportRun, ImagesOfUnprocessedMovesAreSentAndTheirMovesMarked) {
  insertMove(1, "done.jpg", 1);
  insertMove(2, "new.jpg", 0);
  insertMove(3, "gone.jpg", 0);
  insertMove(4, "", 0);
  insertMove(5, "neg.jpg", -1);
  insertMove(6, "old.jpg", 0, -1);
  for (const char* name : {"done.jpg", "new.jpg", "neg.jpg", "old.jpg"}) image(name);
  RunOutcome outcome;
  outcome = runExpenseExport(app.exports, app.shared);
  EXPECT_EQ(1, outcome.imagesWaiting) << "gone.jpg";

  std::vector<ExpenseMove> records = uploadedRecords();
  ASSERT_EQ(6u, records.size());
  std::vector<int32_t> ids;
  for (const ExpenseMove& r : records) {
    ids.push_back(r.Id);
    EXPECT_EQ(0, r.branchNo);
  }
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, -1}), ids);
  EXPECT_EQ(test::readFile(app.shared.folders.expenseFolder + "/gider.dat"),
            test::readFile(remote("gider.dat")));
  EXPECT_EQ((std::vector<std::string>{"httpdocs/customer_yedek/demo/gider.dat",
                                      "httpdocs/customer_yedek/demo/neg.jpg",
                                      "httpdocs/customer_yedek/demo/new.jpg"}),
            filesOnServer());
  EXPECT_EQ("receipt new.jpg", test::readFile(remote("new.jpg")));
  for (int id : {1, 2, 4, 5}) EXPECT_EQ("1", islendi(id)) << id;
  EXPECT_EQ("0", islendi(3)) << "its image is not in the folder yet";
  EXPECT_EQ("0", islendi(6));
  EXPECT_EQ(0u, errors.count());
}

// gider.dat and the images go over one log-in. A line cut after gider.dat
// breaks it: the images after go over a new one, and a move is marked only
// when its image arrived.
TEST_F(ExportRun, ALineCutAfterGiderDatMarksOnlyWhatArrived) {
  const int moves = 30;
  for (int id = 1; id <= moves; ++id) {
    insertMove(id, "r" + std::to_string(id) + ".jpg", 0);
    image("r" + std::to_string(id) + ".jpg");
  }
  test::DelayRelay relay;
  relay.start(test::otherAddress(1), ftp->address, ftp->port, 20);
  test::writeSettings({{"ipno", test::testAddress()},
                       {"ftphost", relay.address + ":" + std::to_string(ftp->port)},
                       {"root", root}});
  std::thread cutter([&] {
    // the first image on its way: gider.dat's reply reached the agent
    if (test::waitFor([&] { return test::fileExists(remote("r1.jpg")); })) relay.command("cut");
  });
  RunOutcome outcome = runExpenseExport(app.exports, app.shared);
  cutter.join();
  EXPECT_TRUE(outcome.uploaded);
  int arrived = 0;
  for (int id = 1; id <= moves; ++id) {
    std::string name = "r" + std::to_string(id) + ".jpg";
    bool there = test::readFile(remote(name)) == "receipt " + name;
    arrived += there;
    EXPECT_EQ(there ? "1" : "0", islendi(id)) << name;
  }
  EXPECT_EQ(moves, arrived) << "each image has the try it would have had alone";
  EXPECT_EQ(moves, outcome.images);
  EXPECT_EQ(2, relay.controlConnections());
}

TEST_F(ExportRun, RecordOfADatabaseRowByteForByte) {
  std::string note(255, 'n'), name(64, 'i');
  database().exec("INSERT INTO expenses.grpb (acode,bcode,name) VALUES (1,20,'Mutfak')");
  database().exec("INSERT INTO expenses.expenses (code,bcode,name) VALUES (300,20,'Sebze')");
  database().exec("INSERT INTO expenses.notes (trid,note) VALUES (9000000001,'" + note +
                  "'),(9000000001,'later note')");
  database().exec(
      "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
      "islendi) VALUES (77,9000000001,300,2,1234.56,'2025-02-03 04:05:06',CURRENT_DATE(),'" +
      name + "',0)");
  image(name);
  app.shared.company.record.branchNo = 7;
  runExpenseExport(app.exports, app.shared);

  Bytes e;
  e.i32(0, 77);
  e.i32(4, 7);
  e.i64(8, 9000000001LL);
  e.i32(16, 300);
  e.i32(20, 2);
  e.f32(24, static_cast<float>(1234.56));
  e.text(29, "Mutfak");
  e.text(93, "Sebze");
  e.text(157, "2025-02-03 04:05:06");
  e.text(189, database().scalar("SELECT CURRENT_DATE()"));
  e.text(221, name);
  e.text(285, note);
  EXPECT_EQ(e.b + endRecordBytes(7).b, test::readFile(remote("gider.dat")));
  EXPECT_EQ("receipt " + name, test::readFile(remote(name)));
  EXPECT_EQ("1", islendi(77));
}

// The server refuses to store the image while a folder of its name is in
// the way: the move stays unprocessed, and the next export sends the image.
TEST_F(ExportRun, RefusedImageIsOfferedAgainByTheNextExport) {
  insertMove(1, "r.jpg", 0);
  insertMove(2, "", 0);
  image("r.jpg");
  std::filesystem::create_directory(remote("r.jpg"));
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ("0", islendi(1));
  EXPECT_EQ("1", islendi(2));
  std::filesystem::remove(remote("r.jpg"));
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ("receipt r.jpg", test::readFile(remote("r.jpg")));
  EXPECT_EQ("1", islendi(1));
  EXPECT_EQ(2, app.shared.status.exportsCompleted.load());
  EXPECT_EQ(0u, errors.count()) << "upload failures show nothing";
}

TEST_F(ExportRun, TwoExportsInARowBothComplete) {
  insertMove(1, "a.jpg", 0);
  image("a.jpg");
  runExpenseExport(app.exports, app.shared);
  ASSERT_TRUE(test::fileExists(remote("a.jpg")));
  std::filesystem::remove(remote("a.jpg"));
  runExpenseExport(app.exports, app.shared);
  EXPECT_FALSE(test::fileExists(remote("a.jpg"))) << "a processed move's image is not sent again";
  std::vector<ExpenseMove> records = uploadedRecords();
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(1, records[0].islendi) << "the second file carries the mark";
  EXPECT_EQ(2, app.shared.status.exportsCompleted.load());
  EXPECT_EQ(0u, errors.count());
}

// Image names that do not name a file in the expense folder: nothing from
// elsewhere is sent, the move stays unprocessed and a person is told.
TEST_F(ExportRun, ImageNamesThatAreNotPlainFileNamesAreNeitherSentNorMarked) {
  std::string longName = std::string(61, 'x') + ".jpeg";  // 66 bytes
  insertMove(1, "../outside.jpg", 0);
  insertMove(2, "sub/inner.jpg", 0);
  insertMove(3, longName, 0);
  insertMove(4, "ok.jpg", 0);
  insertMove(5, "../processed.jpg", 1);
  test::writeFile(root + "/outside.jpg", "private");
  std::filesystem::create_directory(app.shared.folders.expenseFolder + "/sub");
  image("sub/inner.jpg");
  image(longName);
  image(longName.substr(0, 64));
  image("ok.jpg");
  runExpenseExport(app.exports, app.shared);
  EXPECT_EQ((std::vector<std::string>{"httpdocs/customer_yedek/demo/gider.dat",
                                      "httpdocs/customer_yedek/demo/ok.jpg"}),
            filesOnServer());
  EXPECT_EQ("0", islendi(1));
  EXPECT_EQ("0", islendi(2));
  EXPECT_EQ("0", islendi(3));
  EXPECT_EQ("1", islendi(4));
  EXPECT_EQ("1", islendi(5));
  ASSERT_EQ("UPLOAD_GIDER_RESIM", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("3 movement")) << errors.all()[0].second;
}

}  // namespace
}  // namespace kestrune
