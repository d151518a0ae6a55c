// gider.dat byte for byte, and whole export runs against a real MariaDB and a
// real FTP server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "app/app_state.h"
#include "app/export_run.h"
#include "db/expenses.h"
#include "db/text.h"
#include "tests/support/servers.h"
#include "transfer/expense_file.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;

// The expected bytes of a record, built field by field at fixed offsets
// without looking at the record type.
struct Bytes {
  std::string b = std::string(544, '\0');
  void i32(size_t at, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
  }
  void i64(size_t at, int64_t v) {
    uint64_t u = static_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k) b[at + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
  }
  void f32(size_t at, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    i32(at, static_cast<int32_t>(u));
  }
  void text(size_t at, const std::string& s) { b.replace(at, s.size(), s); }
};

ExpenseMove fromBytes(const std::string& bytes, size_t index) {
  ExpenseMove m;
  std::memcpy(&m, bytes.data() + 544 * index, sizeof m);
  return m;
}

class ExportFile : public ::testing::Test {
 protected:
  void SetUp() override {
    root = test::freshFolder("root");
    folder = root + "/giderler";
    path = folder + "/gider.dat";
  }
  std::string root;
  std::string folder;  // the expense folder
  std::string path;    // its gider.dat
  CapturedErrors errors;
};

TEST_F(ExportFile, EveryFieldLandsAtItsOffset) {
  ExpenseMove m;
  m.Id = 0x01020304;
  m.branchNo = -2;
  m.transid = 0x1122334455667788LL;
  m.giderkodu = -123456;
  m.odemtip = 7;
  m.amount = 1234.5f;
  m.islendi = -1;
  copyText(m.groupName, std::string(63, 'G'));
  copyText(m.expenseName, "Sebze");
  copyTextFilling(m.time, std::string(32, 'T'));
  copyTextFilling(m.donem, "2025-01-31");
  copyTextFilling(m.imgfilename, std::string(64, 'I'));
  copyTextFilling(m.note, std::string(255, 'N'));
  std::memset(m.padding, 0x5A, sizeof m.padding);  // must not reach the file

  Bytes e;
  e.i32(0, 0x01020304);
  e.i32(4, -2);
  e.i64(8, 0x1122334455667788LL);
  e.i32(16, -123456);
  e.i32(20, 7);
  e.f32(24, 1234.5f);
  e.b[28] = '\xFF';
  e.text(29, std::string(63, 'G'));  // and a zero at 92
  e.text(93, "Sebze");
  e.text(157, std::string(32, 'T'));
  e.text(189, "2025-01-31");
  e.text(221, std::string(64, 'I'));
  e.text(285, std::string(255, 'N'));  // up to 539; 540..543 stay zero

  ExpenseFile written = writeExpenseFile(folder, {m});
  EXPECT_EQ(0, written.result);
  EXPECT_EQ("gider.dat", written.remoteName);
  EXPECT_EQ(root + "/giderler/gider.dat", written.localPath);
  std::string file = test::readFile(path);
  ASSERT_EQ(544u, file.size());
  for (size_t i = 0; i < 544; ++i)
    ASSERT_EQ(static_cast<int>(static_cast<unsigned char>(e.b[i])),
              static_cast<int>(static_cast<unsigned char>(file[i])))
        << "byte " << i;

  ExpenseMove back = fromBytes(file, 0);
  EXPECT_EQ(m.Id, back.Id);
  EXPECT_EQ(m.transid, back.transid);
  EXPECT_EQ(m.amount, back.amount);
  EXPECT_EQ(std::string(255, 'N'), fieldText(back.note));
  EXPECT_EQ(std::string(64, 'I'), fieldText(back.imgfilename));
  EXPECT_EQ(0u, errors.count());
}

TEST_F(ExportFile, RecordsFollowInListOrder) {
  std::vector<ExpenseMove> moves(300);
  for (size_t i = 0; i < moves.size(); ++i) moves[i].Id = static_cast<int32_t>(1000 + i);
  EXPECT_EQ(0, writeExpenseFile(folder, moves).result);
  std::string file = test::readFile(path);
  ASSERT_EQ(544u * 300, file.size());
  for (size_t i = 0; i < moves.size(); ++i) ASSERT_EQ(moves[i].Id, fromBytes(file, i).Id);

  // the next export replaces the file
  EXPECT_EQ(0, writeExpenseFile(folder, {moves[7]}).result);
  file = test::readFile(path);
  ASSERT_EQ(544u, file.size());
  EXPECT_EQ(1007, fromBytes(file, 0).Id);
  EXPECT_EQ(std::vector<std::string>{"gider.dat"}, test::filesIn(folder))
      << "no temporary file left";
}

TEST_F(ExportFile, EmptyListGivesAnEmptyFile) {
  EXPECT_EQ(0, writeExpenseFile(folder, {}).result);
  EXPECT_TRUE(test::fileExists(path));
  EXPECT_EQ("", test::readFile(path));
}

TEST_F(ExportFile, ExpenseFolderIsCreatedOneLevelOnly) {
  EXPECT_EQ(-1, writeExpenseFile(root + "/missing/giderler", {ExpenseMove()}).result);
  EXPECT_FALSE(test::fileExists(root + "/missing"));
  EXPECT_EQ("WRITE_GIDER_DAT", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("gider.dat"));
}

// The temporary file is a new one of its own: a file or a link that another
// user planted where it is written cannot receive the year's expenses, and
// nobody else can read them. (A full disk: faults_transfer_test.)
TEST_F(ExportFile, TemporaryFileIsNewAndPrivate) {
  std::filesystem::create_directory(folder);
  std::string victim = root + "/victim";
  test::writeFile(victim, "victim");
  ASSERT_EQ(0, ::symlink(victim.c_str(), (path + ".tmp").c_str()));
  ::umask(0);  // what a careless start-up script leaves
  ExpenseFile written = writeExpenseFile(folder, std::vector<ExpenseMove>(3));
  ::umask(022);
  EXPECT_EQ(0, written.result);
  EXPECT_EQ(3u * 544, test::readFile(path).size());
  EXPECT_EQ("victim", test::readFile(victim));
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ((std::vector<std::string>{"gider.dat", "gider.dat.tmp"}), test::filesIn(folder));
}

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
    openConnection(app.expenses.connection);
    app.company.compfolder = "demo";
    app.folders.rootFolder = root;
    app.folders.expenseFolder = root + "/giderler";
    std::filesystem::create_directory(app.folders.expenseFolder);
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
    test::writeFile(app.folders.expenseFolder + "/" + name, "receipt " + name);
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
  EXPECT_EQ(0, runExpenseExport(app));
  EXPECT_EQ(endRecordBytes(0).b, test::readFile(remote("gider.dat")));
  EXPECT_EQ(std::vector<std::string>{"httpdocs/customer_yedek/demo/gider.dat"}, filesOnServer());
  EXPECT_EQ("0", islendi(1)) << "last year's move is neither exported nor marked";
  EXPECT_EQ(1, app.exportsCompleted.load());
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
  runExpenseExport(app, &outcome);
  EXPECT_EQ(1, outcome.imagesWaiting) << "gone.jpg";

  std::vector<ExpenseMove> records = uploadedRecords();
  ASSERT_EQ(6u, records.size());
  std::vector<int32_t> ids;
  for (const ExpenseMove& r : records) {
    ids.push_back(r.Id);
    EXPECT_EQ(0, r.branchNo);
  }
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, -1}), ids);
  EXPECT_EQ(test::readFile(app.folders.expenseFolder + "/gider.dat"),
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
  app.company.branchNo = 7;
  runExpenseExport(app);

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
  runExpenseExport(app);
  EXPECT_EQ("0", islendi(1));
  EXPECT_EQ("1", islendi(2));
  std::filesystem::remove(remote("r.jpg"));
  runExpenseExport(app);
  EXPECT_EQ("receipt r.jpg", test::readFile(remote("r.jpg")));
  EXPECT_EQ("1", islendi(1));
  EXPECT_EQ(2, app.exportsCompleted.load());
  EXPECT_EQ(0u, errors.count()) << "upload failures show nothing";
}

TEST_F(ExportRun, FailedUploadOfGiderDatMarksNothing) {
  insertMove(1, "a.jpg", 0);
  insertMove(2, "", 0);
  image("a.jpg");
  app.company.compfolder = "not-on-server";  // entering the folder fails
  runExpenseExport(app);
  test::writeSettings(
      {{"ipno", test::testAddress()}, {"ftphost", test::otherAddress(5) + ":2121"}});
  runExpenseExport(app);  // nobody listens there
  EXPECT_TRUE(filesOnServer().empty());
  EXPECT_EQ("0", islendi(1));
  EXPECT_EQ("0", islendi(2));
  EXPECT_EQ(2, app.exportsCompleted.load());
}

TEST_F(ExportRun, FileThatCannotBeWrittenIsNotSent) {
  insertMove(1, "", 0);
  runExpenseExport(app);
  std::string sent = test::readFile(remote("gider.dat"));
  database().exec("UPDATE expenses.moves SET islendi = 0");
  insertMove(2, "", 0);
  std::filesystem::remove_all(app.folders.expenseFolder);
  test::writeFile(app.folders.expenseFolder, "a file where the folder should be");
  runExpenseExport(app);
  EXPECT_EQ(sent, test::readFile(remote("gider.dat"))) << "the last whole file stays";
  EXPECT_EQ("0", islendi(1));
  EXPECT_EQ("0", islendi(2));
  EXPECT_EQ("WRITE_GIDER_DAT", errors.captions());
  EXPECT_EQ(2, app.exportsCompleted.load());
}

TEST_F(ExportRun, TwoExportsInARowBothComplete) {
  insertMove(1, "a.jpg", 0);
  image("a.jpg");
  runExpenseExport(app);
  ASSERT_TRUE(test::fileExists(remote("a.jpg")));
  std::filesystem::remove(remote("a.jpg"));
  runExpenseExport(app);
  EXPECT_FALSE(test::fileExists(remote("a.jpg"))) << "a processed move's image is not sent again";
  std::vector<ExpenseMove> records = uploadedRecords();
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(1, records[0].islendi) << "the second file carries the mark";
  EXPECT_EQ(2, app.exportsCompleted.load());
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
  std::filesystem::create_directory(app.folders.expenseFolder + "/sub");
  image("sub/inner.jpg");
  image(longName);
  image(longName.substr(0, 64));
  image("ok.jpg");
  runExpenseExport(app);
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
