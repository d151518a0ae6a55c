// gider.dat byte for byte, and whole export runs against a real MariaDB and a
// real FTP server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "db/expenses.h"
#include "db/text.h"
#include "reports/folders.h"
#include "tests/support/servers.h"
#include "transfer/export.h"

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
    paths.rootFolder = root;
    paths.expenseFolder = root + "/giderler";
  }
  std::string root;
  ReportFolders paths;
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

  EXPECT_EQ(0, writeExpenseFile(paths, {m}));
  EXPECT_EQ("gider.dat", paths.exportFileName);
  EXPECT_EQ(root + "/giderler/gider.dat", paths.exportLocalPath);
  std::string file = test::readFile(paths.exportLocalPath);
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
  EXPECT_EQ(0, writeExpenseFile(paths, moves));
  std::string file = test::readFile(paths.exportLocalPath);
  ASSERT_EQ(544u * 300, file.size());
  for (size_t i = 0; i < moves.size(); ++i) ASSERT_EQ(moves[i].Id, fromBytes(file, i).Id);

  // the next export replaces the file
  EXPECT_EQ(0, writeExpenseFile(paths, {moves[7]}));
  file = test::readFile(paths.exportLocalPath);
  ASSERT_EQ(544u, file.size());
  EXPECT_EQ(1007, fromBytes(file, 0).Id);
  EXPECT_FALSE(test::fileExists(paths.exportLocalPath + ".tmp"));
}

TEST_F(ExportFile, EmptyListGivesAnEmptyFile) {
  EXPECT_EQ(0, writeExpenseFile(paths, {}));
  EXPECT_TRUE(test::fileExists(paths.exportLocalPath));
  EXPECT_EQ("", test::readFile(paths.exportLocalPath));
}

TEST_F(ExportFile, ExpenseFolderIsCreatedOneLevelOnly) {
  paths.expenseFolder = root + "/missing/giderler";
  EXPECT_EQ(-1, writeExpenseFile(paths, {ExpenseMove()}));
  EXPECT_FALSE(test::fileExists(root + "/missing"));
  EXPECT_EQ("WRITE_GIDER_DAT", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("gider.dat"));
}

TEST_F(ExportFile, FolderInTheWayReportsAndWritesNothing) {
  test::writeFile(paths.expenseFolder, "a file where the folder should be");
  EXPECT_EQ(-1, writeExpenseFile(paths, {ExpenseMove()}));
  EXPECT_EQ("WRITE_GIDER_DAT", errors.captions());
}

// A disk that fills up while the file is written: the temporary file lands
// on /dev/full, every write fails with "no space". The last whole file stays.
TEST_F(ExportFile, FullDiskLeavesTheLastWholeFile) {
  std::vector<ExpenseMove> moves(2);
  moves[0].Id = 1;
  moves[1].Id = 2;
  ASSERT_EQ(0, writeExpenseFile(paths, moves));
  std::string before = test::readFile(paths.exportLocalPath);
  ASSERT_EQ(0, ::symlink("/dev/full", (paths.exportLocalPath + ".tmp").c_str()));
  std::vector<ExpenseMove> more(1000);
  EXPECT_EQ(-1, writeExpenseFile(paths, more));
  EXPECT_EQ(before, test::readFile(paths.exportLocalPath));
  EXPECT_FALSE(test::fileExists(paths.exportLocalPath + ".tmp"));
  ASSERT_EQ("WRITE_GIDER_DAT", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("space")) << errors.all()[0].second;
}

}  // namespace
}  // namespace kestrune
