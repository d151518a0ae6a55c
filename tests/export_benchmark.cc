// How long the expense export takes with a year of 20,000 movements and
// 20,000 notes, against a private MariaDB and FTP server on loopback.
// Not part of the test run; start it by hand from a build without sanitizers:
//
//   KESTRUNE_TEST_ADDRESS=127.0.0.90 KESTRUNE_TEST_DIR=/tmp/kestrune-bench
//   build/tests/export_benchmark [moves] [--images N] [--per-connection]
//
// --images N gives the first N movements a receipt image (10 kB each) to send.
// --per-connection also times marking with one new connection per movement.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "db/expenses.h"
#include "db/query.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "tests/support/servers.h"
#include "transfer/export.h"

using namespace kestrune;

namespace {

double seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void fill(int moves) {
  test::MariaDb& db = test::database();
  db.resetData();
  db.exec("INSERT INTO expenses.grpb (acode,bcode,name) SELECT seq, seq, CONCAT('Grup ', seq) "
          "FROM expenses.seq_1_to_50");
  db.exec("INSERT INTO expenses.expenses (code,bcode,name) SELECT seq, seq % 50 + 1, "
          "CONCAT('Gider tanımı ', seq) FROM expenses.seq_1_to_400");
  std::string n = std::to_string(moves);
  db.exec("INSERT INTO expenses.moves (Id,transid,giderkodu,odemtip,amount,time,donem,"
          "imgfilename,islendi) SELECT seq, 1000000 + seq, seq % 400 + 1, seq % 3, seq * 1.25, "
          "NOW(), CURRENT_DATE(), '', 0 FROM expenses.seq_1_to_" + n);
  db.exec("INSERT INTO expenses.notes (trid,note) SELECT 1000000 + seq, "
          "CONCAT('Fiş notu ', seq, ' ', REPEAT('x', 100)) FROM expenses.seq_1_to_" + n);
}

void unmark() { test::database().exec("UPDATE expenses.moves SET islendi = 0"); }

std::string marked() {
  return test::database().scalar("SELECT COUNT(*) FROM expenses.moves WHERE islendi = 1");
}

// The join as a nested scan, for comparison with the indexed one.
void nestedJoin(ExpenseStore& s) {
  for (ExpenseMove& m : s.expenseMoves) {
    for (const ExpenseDefinition& d : s.expenseDefinitions)
      if (d.code == m.giderkodu) {
        std::strncpy(m.expenseName, d.name.c_str(), sizeof m.expenseName - 1);
        break;
      }
    for (const ExpenseNote& note : s.expenseNotes)
      if (note.trid == m.transid) {
        std::strncpy(m.note, note.note.c_str(), sizeof m.note);
        break;
      }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int moves = 20000;
  int images = 0;
  bool perConnection = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--per-connection") == 0)
      perConnection = true;
    else if (std::strcmp(argv[i], "--images") == 0 && i + 1 < argc)
      images = std::atoi(argv[++i]);
    else
      moves = std::atoi(argv[i]);
  }
  setErrorSink([](const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  });
  test::database();
  test::FtpServer& ftp = test::ftpServer();
  test::writeStandardSettings(test::freshFolder("root"));
  std::printf("%d movements, %d notes\n", moves, moves);
  fill(moves);

  AppState app;
  openConnection(app.expenses.connection);
  app.company.compfolder = "demo";
  app.folders.rootFolder = test::testDir() + "/root";
  app.folders.expenseFolder = app.folders.rootFolder + "/giderler";
  if (images > 0) {
    test::database().exec("UPDATE expenses.moves SET imgfilename = CONCAT('fis', Id, '.jpg') "
                          "WHERE Id <= " + std::to_string(images));
    createFolder(app.folders.expenseFolder);
    for (int id = 1; id <= images; ++id)
      test::writeFile(app.folders.expenseFolder + "/fis" + std::to_string(id) + ".jpg",
                      std::string(10240, 'j'));
  }
  ExpenseStore& s = app.expenses;

  double read = seconds([&] {
    readExpenseGroups(s);
    readExpenseDefinitions(s);
    readExpenseMoves(s);
    readExpenseNotes(s);
  });
  double join = seconds([&] { joinExpenseTexts(s); });
  double nested = seconds([&] { nestedJoin(s); });
  double write = seconds([&] { writeExpenseFile(app.folders, s.expenseMoves); });
  std::printf("read four tables          %8.3f s\n", read);
  std::printf("join (indexed)            %8.3f s\n", join);
  std::printf("join (nested scan)        %8.3f s\n", nested);
  std::printf("write gider.dat           %8.3f s  (%zu bytes)\n", write,
              s.expenseMoves.size() * sizeof(ExpenseMove));

  std::vector<int32_t> ids;
  for (const ExpenseMove& m : s.expenseMoves) ids.push_back(m.Id);

  unmark();
  double chunked = seconds([&] { markExpenseMovesProcessed(s, ids); });
  std::printf("mark, one connection, IN lists of 500     %8.3f s  (%s marked)\n", chunked,
              marked().c_str());

  unmark();
  double oneByOne = seconds([&] {
    std::vector<std::string> statements;
    for (int32_t id : ids)
      statements.push_back(
          "UPDATE expenses.moves  SET expenses.moves.islendi = 1 WHERE expenses.moves.Id=" +
          std::to_string(id));
    runUpdates(s.connection, "expenses", "UPDATE_SET_GIDERMOVE_ISLENDI", statements);
  });
  std::printf("mark, one connection, one statement per id %8.3f s  (%s marked)\n", oneByOne,
              marked().c_str());

  if (perConnection) {
    unmark();
    double fresh = seconds([&] {
      for (int32_t id : ids) markExpenseMoveProcessed(s, id);
    });
    std::printf("mark, new connection per id               %8.3f s  (%s marked)\n", fresh,
                marked().c_str());
  }

  unmark();
  double run = seconds([&] { runExpenseExport(app); });
  std::printf("whole export run (read, join, write, send %d images, mark) %8.3f s  (%s marked, "
              "%zu bytes sent as gider.dat)\n",
              images, run, marked().c_str(),
              test::readFile(ftp.remotePath("demo", "gider.dat")).size());
  return 0;
}
