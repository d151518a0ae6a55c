// gider.dat byte for byte: every field at its offset, the records in order,
// written whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "db/expenses.h"
#include "db/text.h"
#include "tests/support/records.h"
#include "tests/support/servers.h"
#include "transfer/expense_file.h"

namespace kestrune {
namespace {

using test::Bytes;
using test::CapturedErrors;
using test::fromBytes;

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

}  // namespace
}  // namespace kestrune
