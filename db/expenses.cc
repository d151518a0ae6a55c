#include "db/expenses.h"

#include <cppconn/resultset.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "db/query.h"
#include "db/text.h"

namespace kestrune {

namespace {

const char kSchema[] = "expenses";
const char kMarkCaption[] = "UPDATE_SET_GIDERMOVE_ISLENDI";
const char kMarkStatement[] =
    "UPDATE expenses.moves  SET expenses.moves.islendi = %d WHERE expenses.moves.Id";

// Ids per UPDATE ... IN (...) statement when many moves are marked at once.
constexpr size_t kIdsPerStatement = 500;

// How many bytes of `text` fit `room` without cutting a UTF-8 character in
// two. Bytes that do not form UTF-8 are cut where the room ends.
size_t fittingLength(const std::string& text, size_t room) {
  if (text.size() <= room) return text.size();
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  // Back from the first byte that does not fit over continuation bytes to
  // the lead byte of the character the cut would split.
  size_t start = room;
  while (start > 0 && room - start < 3 && (byte(start) & 0xC0) == 0x80) --start;
  if (start == room) return room;
  unsigned char lead = byte(start);
  size_t length = lead >= 0xF0 && lead <= 0xF7  ? 4
                  : lead >= 0xE0 && lead < 0xF0 ? 3
                  : lead >= 0xC0 && lead < 0xE0 ? 2
                                                : 0;
  return length != 0 && start + length > room ? start : room;
}

// A name field: at most N - 1 bytes and a terminating zero.
template <size_t N>
void copyName(char (&field)[N], const std::string& text) {
  copyText(field, text.substr(0, fittingLength(text, N - 1)));
}

// A text field that a text as long as the field fills completely.
template <size_t N>
void copyFilling(char (&field)[N], const std::string& text) {
  copyTextFilling(field, text.substr(0, fittingLength(text, N)));
}

ExpenseMove endRecord() {
  ExpenseMove end;
  end.Id = -1;
  end.transid = -1;
  end.giderkodu = -1;
  return end;
}

std::string markStatement(int value) {
  char text[sizeof kMarkStatement + 16];
  std::snprintf(text, sizeof text, kMarkStatement, value);
  return text;
}

}  // namespace

int readExpenseGroups(ExpenseStore& store) {
  store.expenseGroups.clear();
  QueryText query{kSchema, "READ_GIDER_GRUPLAR", "SELECT acode, bcode, name FROM grpb;"};
  bool ok = runQuery(store.connection, query, [&](sql::ResultSet& row) {
    ExpenseGroup g;
    g.acode = row.getInt(1);
    g.bcode = row.getInt(2);
    g.name = columnText(row, 3);
    store.expenseGroups.push_back(std::move(g));
  });
  return ok ? static_cast<int>(store.expenseGroups.size()) : -2;
}

int readExpenseDefinitions(ExpenseStore& store) {
  store.expenseDefinitions.clear();
  QueryText query{kSchema, "READ_GIDER_TANIM", "SELECT code, bcode, name FROM expenses;"};
  bool ok = runQuery(store.connection, query, [&](sql::ResultSet& row) {
    ExpenseDefinition d;
    d.code = row.getInt(1);
    d.bcode = row.getInt(2);
    d.name = columnText(row, 3);
    store.expenseDefinitions.push_back(std::move(d));
  });
  return ok ? static_cast<int>(store.expenseDefinitions.size()) : -2;
}

int readExpenseMoves(ExpenseStore& store) {
  store.expenseMoves.clear();
  store.cutImageNames.clear();
  QueryText query{kSchema, "READ_GIDER_MOVES",
                  "SELECT Id,transid,giderkodu,odemtip,amount,time,donem,imgfilename,islendi "
                  "FROM moves WHERE YEAR(donem) = YEAR(CURRENT_DATE());"};
  bool ok = runQuery(store.connection, query, [&](sql::ResultSet& row) {
    ExpenseMove m;
    m.Id = row.getInt(1);
    m.transid = row.getInt64(2);
    m.giderkodu = row.getInt(3);
    m.odemtip = row.getInt(4);
    m.amount = static_cast<float>(row.getDouble(5));
    copyFilling(m.time, columnText(row, 6));
    copyFilling(m.donem, columnText(row, 7));
    std::string image = columnText(row, 8);
    copyFilling(m.imgfilename, image);
    if (image.size() > sizeof m.imgfilename)
      store.cutImageNames.push_back(store.expenseMoves.size());
    m.islendi = static_cast<int8_t>(row.getInt(9) & 0xFF);
    store.expenseMoves.push_back(m);
  });
  if (!ok) return -2;
  store.expenseMoves.push_back(endRecord());
  return static_cast<int>(store.expenseMoves.size());
}

int readExpenseNotes(ExpenseStore& store) {
  store.expenseNotes.clear();
  QueryText query{kSchema, "READ_GIDER_MOVES", "SELECT trid,note FROM notes;"};
  bool ok = runQuery(store.connection, query, [&](sql::ResultSet& row) {
    ExpenseNote n;
    n.trid = row.getInt64(1);
    n.note = columnText(row, 2);
    store.expenseNotes.push_back(std::move(n));
  });
  return ok ? static_cast<int>(store.expenseNotes.size()) : -2;
}

int joinExpenseTexts(ExpenseStore& store) {
  // Each index keeps the first element of its key in database order
  // (emplace leaves an existing key alone).
  std::unordered_map<int32_t, const ExpenseGroup*> groupByBcode;
  groupByBcode.reserve(store.expenseGroups.size());
  for (const ExpenseGroup& g : store.expenseGroups) groupByBcode.emplace(g.bcode, &g);
  for (ExpenseDefinition& d : store.expenseDefinitions) {
    auto g = groupByBcode.find(d.bcode);
    if (g != groupByBcode.end()) d.groupName = g->second->name;
  }

  std::unordered_map<int32_t, const ExpenseDefinition*> definitionByCode;
  definitionByCode.reserve(store.expenseDefinitions.size());
  for (const ExpenseDefinition& d : store.expenseDefinitions) definitionByCode.emplace(d.code, &d);
  std::unordered_map<int64_t, const ExpenseNote*> noteByTransaction;
  noteByTransaction.reserve(store.expenseNotes.size());
  for (const ExpenseNote& n : store.expenseNotes) noteByTransaction.emplace(n.trid, &n);

  for (ExpenseMove& m : store.expenseMoves) {
    auto d = definitionByCode.find(m.giderkodu);
    if (d != definitionByCode.end()) {
      copyName(m.groupName, d->second->groupName);
      copyName(m.expenseName, d->second->name);
    }
    auto n = noteByTransaction.find(m.transid);
    if (n != noteByTransaction.end()) copyFilling(m.note, n->second->note);
  }
  return 0;
}

int markExpenseMoveProcessed(ExpenseStore& store, int32_t id) {
  QueryText query{kSchema, kMarkCaption, markStatement(1) + "=" + std::to_string(id)};
  // The connector runs an UPDATE sent as a query and then throws with code 0;
  // the frame counts that as success. There are no rows to read.
  bool ok = runQuery(store.connection, query, [](sql::ResultSet&) {});
  return ok ? 0 : -2;
}

size_t markExpenseMovesProcessed(ExpenseStore& store, const std::vector<int32_t>& ids) {
  if (ids.empty()) return 0;
  // Each statement marks a run of ids in list order; on a transactional
  // table it takes effect whole or not at all, so the count of completed
  // statements tells exactly which ids from the front are marked.
  std::vector<std::string> statements;
  std::vector<size_t> idsUpTo;  // ids covered by statements[0..i]
  const std::string head = markStatement(1) + " IN (";
  for (size_t first = 0; first < ids.size(); first += kIdsPerStatement) {
    size_t last = std::min(ids.size(), first + kIdsPerStatement);
    std::string s = head;
    for (size_t i = first; i < last; ++i) {
      if (i > first) s += ',';
      s += std::to_string(ids[i]);
    }
    s += ')';
    statements.push_back(std::move(s));
    idsUpTo.push_back(last);
  }
  size_t done = runUpdates(store.connection, kSchema, kMarkCaption, statements);
  return done == 0 ? 0 : idsUpTo[done - 1];
}

}  // namespace kestrune
