// Expense groups, definitions, movements and notes read from a real MariaDB,
// joined into the 544-byte records, and the marking of exported movements.
#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <gtest/gtest.h>

#include <memory>

#include "db/expenses.h"
#include "db/query.h"
#include "db/text.h"
#include "tests/support/servers.h"

namespace kestrune {
namespace {

using test::CapturedErrors;
using test::database;

class Expenses : public ::testing::Test {
 protected:
  void SetUp() override {
    database().resetData();
    test::writeSettings({{"ipno", test::testAddress()}});
    openConnection(store.connection);
  }
  // A move dated this year (offset 0), last year (-1) or next year (1).
  static std::string move(int id, long long transid, int code, const std::string& image,
                          int islendi, int yearOffset = 0) {
    return "(" + std::to_string(id) + "," + std::to_string(transid) + "," + std::to_string(code) +
           ",2,12.5,'2024-03-05 14:30:00',CURRENT_DATE() + INTERVAL " + std::to_string(yearOffset) +
           " YEAR,'" + image + "'," + std::to_string(islendi) + ")";
  }
  static void insertMoves(const std::string& values) {
    database().exec(
        "INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,"
        "islendi) VALUES " +
        values);
  }
  std::string islendiOf(int id) {
    return database().scalar("SELECT islendi FROM expenses.moves WHERE Id=" + std::to_string(id));
  }
  ExpenseStore store;
  CapturedErrors errors;
};

void expectEndRecord(const ExpenseMove& m) {
  ExpenseMove expected;
  expected.Id = -1;
  expected.transid = -1;
  expected.giderkodu = -1;
  EXPECT_EQ(0, std::memcmp(&expected, &m, sizeof m)) << "end record: -1, -1, -1, all else zero";
}

TEST_F(Expenses, NoMovementThisYearGivesOnlyTheEndRecord) {
  insertMoves(move(1, 10, 1, "", 0, -1) + "," + move(2, 11, 1, "", 0, 1));
  EXPECT_EQ(1, readExpenseMoves(store));
  ASSERT_EQ(1u, store.expenseMoves.size());
  expectEndRecord(store.expenseMoves[0]);
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Expenses, ReadsThisYearsMovesProcessedOrNotThenTheEndRecord) {
  insertMoves(move(7, 9000000000LL, 3, "a.jpg", 0) + "," + move(8, 11, 4, "", 1, -1) + "," +
              move(9, 12, 5, "", 1) + "," + move(10, 13, 6, "", 300));
  EXPECT_EQ(4, readExpenseMoves(store));
  ASSERT_EQ(4u, store.expenseMoves.size());
  const ExpenseMove& m = store.expenseMoves[0];
  EXPECT_EQ(7, m.Id);
  EXPECT_EQ(9000000000LL, m.transid);
  EXPECT_EQ(3, m.giderkodu);
  EXPECT_EQ(2, m.odemtip);
  EXPECT_EQ(12.5f, m.amount);
  EXPECT_EQ(0, m.islendi);
  EXPECT_EQ("2024-03-05 14:30:00", fieldText(m.time));
  EXPECT_EQ(database().scalar("SELECT CURRENT_DATE()"), fieldText(m.donem));
  EXPECT_EQ("a.jpg", fieldText(m.imgfilename));
  EXPECT_EQ(9, store.expenseMoves[1].Id);
  EXPECT_EQ(1, store.expenseMoves[1].islendi);
  EXPECT_EQ(44, store.expenseMoves[2].islendi) << "the low 8 bits of 300";
  expectEndRecord(store.expenseMoves[3]);
}

TEST_F(Expenses, NullColumnsReadAsZeroAndEmpty) {
  database().exec("INSERT INTO expenses.moves (donem, islendi) VALUES (CURRENT_DATE(), NULL)");
  database().exec("INSERT INTO expenses.grpb (acode) VALUES (NULL)");
  database().exec("INSERT INTO expenses.expenses (code) VALUES (NULL)");
  database().exec("INSERT INTO expenses.notes (trid) VALUES (NULL)");
  EXPECT_EQ(2, readExpenseMoves(store));
  const ExpenseMove& m = store.expenseMoves[0];
  EXPECT_EQ(0, m.transid);
  EXPECT_EQ(0, m.giderkodu);
  EXPECT_EQ(0.0f, m.amount);
  EXPECT_EQ(0, m.islendi);
  EXPECT_EQ("", fieldText(m.time));
  EXPECT_EQ("", fieldText(m.imgfilename));
  EXPECT_EQ(1, readExpenseGroups(store));
  EXPECT_EQ(1, readExpenseDefinitions(store));
  EXPECT_EQ(1, readExpenseNotes(store));
  EXPECT_EQ("", store.expenseGroups[0].name);
  EXPECT_EQ(0, store.expenseNotes[0].trid);
  EXPECT_EQ(0, joinExpenseTexts(store));
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Expenses, TextsAreBoundedByTheirFields) {
  std::string note255(255, 'n'), image64(64, 'i');
  insertMoves(move(1, 100, 1, image64, 0) + "," + move(2, 200, 1, image64 + "x", 0) + "," +
              move(3, 300, 1, "short.png", 0));
  database().exec("INSERT INTO expenses.notes (trid, note) VALUES (100, '" + note255 +
                  "'), (200, '" + note255 + "tail'), (300, 'kısa not')");
  std::string name63(63, 'g');
  database().exec("INSERT INTO expenses.grpb (acode,bcode,name) VALUES (1,1,'" + name63 + "X')");
  database().exec("INSERT INTO expenses.expenses (code,bcode,name) VALUES (1,1,'" + name63 + "')");
  readExpenseGroups(store);
  readExpenseDefinitions(store);
  readExpenseMoves(store);
  readExpenseNotes(store);
  joinExpenseTexts(store);
  ASSERT_EQ(4u, store.expenseMoves.size());
  const ExpenseMove& full = store.expenseMoves[0];
  EXPECT_EQ(0, std::memcmp(full.note, note255.data(), 255)) << "no terminating zero";
  EXPECT_EQ(0, std::memcmp(full.imgfilename, image64.data(), 64));
  EXPECT_EQ(note255, fieldText(store.expenseMoves[1].note));
  EXPECT_EQ(image64, fieldText(store.expenseMoves[1].imgfilename));
  // names keep a terminating zero
  EXPECT_EQ(name63, std::string(full.groupName));
  EXPECT_EQ(name63, std::string(full.expenseName));
  // shorter texts are zero-padded to the end of their field
  const ExpenseMove& small = store.expenseMoves[2];
  EXPECT_EQ("kısa not", fieldText(small.note));
  for (size_t i = std::strlen("kısa not"); i < sizeof small.note; ++i) ASSERT_EQ(0, small.note[i]);
  for (size_t i = 9; i < sizeof small.imgfilename; ++i) ASSERT_EQ(0, small.imgfilename[i]);
  // the one image name that did not fit is known
  EXPECT_EQ((std::vector<size_t>{1}), store.cutImageNames);
}

TEST_F(Expenses, CutsDoNotSplitCharacters) {
  std::string name;
  for (int i = 0; i < 40; ++i) name += "ş";  // 80 bytes
  std::string note = "a";
  for (int i = 0; i < 200; ++i) note += "ğ";  // 401 bytes
  database().exec("INSERT INTO expenses.grpb (acode,bcode,name) VALUES (1,1,'x')");
  database().exec("INSERT INTO expenses.expenses (code,bcode,name) VALUES (1,1,'" + name + "')");
  database().exec("INSERT INTO expenses.notes (trid,note) VALUES (5,'" + note + "')");
  insertMoves(move(1, 5, 1, "", 0));
  readExpenseGroups(store);
  readExpenseDefinitions(store);
  readExpenseMoves(store);
  readExpenseNotes(store);
  joinExpenseTexts(store);
  const ExpenseMove& m = store.expenseMoves[0];
  EXPECT_EQ(name.substr(0, 62), std::string(m.expenseName)) << "31 whole letters, not 31.5";
  EXPECT_EQ(note.substr(0, 255), fieldText(m.note)) << "1 + 127 letters fill 255 bytes";
}

TEST_F(Expenses, JoinTakesTheFirstMatchInDatabaseOrder) {
  database().exec(
      "INSERT INTO expenses.grpb (acode,bcode,name) VALUES (1,10,'Mutfak'),(2,10,'Mutfak 2'),"
      "(3,20,'Personel')");
  database().exec(
      "INSERT INTO expenses.expenses (code,bcode,name) VALUES (1,10,'Sebze'),(1,20,'Sebze 2'),"
      "(2,20,'Maaş'),(3,99,'Kira')");
  database().exec(
      "INSERT INTO expenses.notes (trid,note) VALUES (500,'ilk'),(500,'ikinci'),"
      "(4294967797,'high bits differ'),(-1,'end')");
  insertMoves(move(1, 500, 1, "", 0) + "," + move(2, 501, 2, "", 0) + "," + move(3, 502, 3, "", 0) +
              "," + move(4, 503, 42, "", 0));
  EXPECT_EQ(3, readExpenseGroups(store));
  EXPECT_EQ(4, readExpenseDefinitions(store));
  EXPECT_EQ(5, readExpenseMoves(store));
  EXPECT_EQ(4, readExpenseNotes(store));
  EXPECT_EQ(0, joinExpenseTexts(store));

  EXPECT_EQ("Mutfak", store.expenseDefinitions[0].groupName);
  EXPECT_EQ("Personel", store.expenseDefinitions[1].groupName);
  EXPECT_EQ("", store.expenseDefinitions[3].groupName) << "no group 99";

  auto& moves = store.expenseMoves;
  EXPECT_EQ("Mutfak", std::string(moves[0].groupName));
  EXPECT_EQ("Sebze", std::string(moves[0].expenseName));
  EXPECT_EQ("ilk", fieldText(moves[0].note));
  EXPECT_EQ("Maaş", std::string(moves[1].expenseName));
  EXPECT_EQ("", fieldText(moves[1].note)) << "501 is only the low half of 4294967797";
  EXPECT_EQ("Kira", std::string(moves[2].expenseName));
  EXPECT_EQ("", std::string(moves[2].groupName));
  EXPECT_EQ("", std::string(moves[3].groupName)) << "no definition 42";
  EXPECT_EQ("", std::string(moves[3].expenseName));
  // the end record takes part: no definition -1, but a note of transaction -1
  EXPECT_EQ("", std::string(moves[4].expenseName));
  EXPECT_EQ("end", fieldText(moves[4].note));
}

TEST_F(Expenses, FailedReadsReportUnderTheirCaptions) {
  insertMoves(move(1, 1, 1, "", 0));
  readExpenseMoves(store);
  database().exec("RENAME TABLE expenses.moves TO expenses.moves_away");
  database().exec("RENAME TABLE expenses.notes TO expenses.notes_away");
  database().exec("RENAME TABLE expenses.grpb TO expenses.grpb_away");
  database().exec("RENAME TABLE expenses.expenses TO expenses.expenses_away");
  EXPECT_EQ(-2, readExpenseGroups(store));
  EXPECT_EQ(-2, readExpenseDefinitions(store));
  EXPECT_EQ(-2, readExpenseMoves(store));
  EXPECT_EQ(-2, readExpenseNotes(store));
  database().exec("RENAME TABLE expenses.moves_away TO expenses.moves");
  database().exec("RENAME TABLE expenses.notes_away TO expenses.notes");
  database().exec("RENAME TABLE expenses.grpb_away TO expenses.grpb");
  database().exec("RENAME TABLE expenses.expenses_away TO expenses.expenses");
  EXPECT_EQ("READ_GIDER_GRUPLAR,READ_GIDER_TANIM,READ_GIDER_MOVES,READ_GIDER_MOVES",
            errors.captions());
  EXPECT_TRUE(store.expenseMoves.empty()) << "no end record after a failed read";
}

TEST_F(Expenses, RowsBeforeAFailureStayWithoutEndRecord) {
  // The subquery fails the statement at the third row, after two rows
  // may have reached the reader.
  database().exec(
      "CREATE VIEW expenses.bad_moves AS SELECT Id,transid,giderkodu,odemtip,"
      "IF(Id = 3, (SELECT 1 UNION SELECT 2), amount) AS amount,time,donem,imgfilename,islendi "
      "FROM expenses.moves");
  database().exec("RENAME TABLE expenses.moves TO expenses.moves_real");
  database().exec("RENAME TABLE expenses.bad_moves TO expenses.moves");
  database().exec(
      "INSERT INTO expenses.moves_real (Id,transid,donem) VALUES (1,1,CURRENT_DATE()),"
      "(2,2,CURRENT_DATE()),(3,3,CURRENT_DATE()),(4,4,CURRENT_DATE())");
  int result = readExpenseMoves(store);
  database().exec("DROP VIEW expenses.moves");
  database().exec("RENAME TABLE expenses.moves_real TO expenses.moves");
  EXPECT_EQ(-2, result);
  EXPECT_EQ("READ_GIDER_MOVES", errors.captions());
  ASSERT_LE(store.expenseMoves.size(), 2u);
  for (const ExpenseMove& m : store.expenseMoves) EXPECT_NE(-1, m.Id);
}

// The connector runs an UPDATE sent through executeQuery and then throws an
// exception with code 0, SQL state 00000 and no text. Marking a move relies
// on this; a connector that behaves otherwise fails here.
TEST_F(Expenses, ConnectorAnswersAnUpdateQueryWithCodeZero) {
  insertMoves(move(1, 1, 1, "", 0));
  std::unique_ptr<sql::Connection> con(newConnection(store.connection));
  con->setSchema("expenses");
  std::unique_ptr<sql::Statement> stmt(con->createStatement());
  try {
    std::unique_ptr<sql::ResultSet> res(
        stmt->executeQuery("UPDATE expenses.moves  SET expenses.moves.islendi = 1 WHERE "
                           "expenses.moves.Id=1"));
    ADD_FAILURE() << "the connector returned a result set for an UPDATE";
  } catch (const sql::SQLException& e) {
    EXPECT_EQ(0, e.getErrorCode());
    EXPECT_EQ("00000", e.getSQLState());
    EXPECT_STREQ("", e.what());
  }
  EXPECT_EQ("1", islendiOf(1)) << "applied and committed";
  try {
    stmt->executeQuery("UPDATE expenses.no_such_table SET islendi = 1");
    ADD_FAILURE() << "no exception for a missing table";
  } catch (const sql::SQLException& e) {
    EXPECT_EQ(1146, e.getErrorCode());
  }
}

TEST_F(Expenses, MarkingSetsExactlyThatRow) {
  insertMoves(move(1, 1, 1, "", 0) + "," + move(2, 2, 1, "", 0) + "," + move(3, 3, 1, "", -1));
  EXPECT_EQ(0, markExpenseMoveProcessed(store, 2));
  EXPECT_EQ(0, markExpenseMoveProcessed(store, 2)) << "marking twice is harmless";
  EXPECT_EQ(0, markExpenseMoveProcessed(store, -1));
  EXPECT_EQ("0", islendiOf(1));
  EXPECT_EQ("1", islendiOf(2));
  EXPECT_EQ("-1", islendiOf(3));
  EXPECT_EQ(0u, errors.count());

  database().exec("RENAME TABLE expenses.moves TO expenses.moves_away");
  EXPECT_EQ(-2, markExpenseMoveProcessed(store, 1));
  database().exec("RENAME TABLE expenses.moves_away TO expenses.moves");
  ASSERT_EQ("UPDATE_SET_GIDERMOVE_ISLENDI", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("moves")) << errors.all()[0].second;
}

TEST_F(Expenses, MarkingManyOnOneConnectionMarksExactlyTheList) {
  std::string values;
  for (int id = 1; id <= 1500; ++id) values += (id > 1 ? "," : "") + move(id, id, 1, "", 0);
  insertMoves(values);
  std::vector<int32_t> ids;
  for (int id = 1500; id >= 2; id -= 2) ids.push_back(id);  // the even ones, descending
  ids.push_back(-1);
  EXPECT_EQ(ids.size(), markExpenseMovesProcessed(store, ids));
  EXPECT_EQ("750", database().scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1"));
  EXPECT_EQ("0", database().scalar(
                     "SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1 AND Id % 2 = 1"));
  EXPECT_EQ(0u, markExpenseMovesProcessed(store, {}));
  EXPECT_EQ(0u, errors.count());
}

TEST_F(Expenses, MarkingManyStopsAtTheFirstErrorWithOnlyWholeRowsMarked) {
  std::string values;
  for (int id = 1; id <= 1500; ++id) values += (id > 1 ? "," : "") + move(id, id, 1, "", 0);
  insertMoves(values);
  database().exec(
      "CREATE TRIGGER expenses.refuse_900 BEFORE UPDATE ON expenses.moves FOR EACH ROW "
      "IF NEW.Id = 900 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF");
  std::vector<int32_t> ids;
  for (int id = 1; id <= 1500; ++id) ids.push_back(id);
  size_t marked = markExpenseMovesProcessed(store, ids);
  database().exec("DROP TRIGGER expenses.refuse_900");
  EXPECT_EQ(500u, marked) << "the first statement's 500 rows";
  EXPECT_EQ(std::to_string(marked),
            database().scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1"));
  EXPECT_EQ(std::to_string(marked),
            database().scalar("SELECT COALESCE(MAX(Id), 0) FROM expenses.moves WHERE islendi = 1"))
      << "exactly the front of the list";
  ASSERT_EQ("UPDATE_SET_GIDERMOVE_ISLENDI", errors.captions());
  EXPECT_NE(std::string::npos, errors.all()[0].second.find("refused"));
}

TEST_F(Expenses, MarkingWithTheServerGoneReportsAndMarksNothing) {
  insertMoves(move(1, 1, 1, "", 0));
  database().killHard();
  EXPECT_EQ(0u, markExpenseMovesProcessed(store, {1}));
  EXPECT_EQ(-2, markExpenseMoveProcessed(store, 1));
  EXPECT_EQ("UPDATE_SET_GIDERMOVE_ISLENDI,UPDATE_SET_GIDERMOVE_ISLENDI", errors.captions());
  database();  // a fresh server for the tests that follow
}

}  // namespace
}  // namespace kestrune
