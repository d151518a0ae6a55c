// The current year's expense movements with the names of their definition and
// group and their note, in the fixed 544-byte records of the export file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "db/connection.h"

namespace kestrune {

struct ExpenseGroup {
  int32_t acode = 0;
  int32_t bcode = 0;
  std::string name;
};

struct ExpenseDefinition {
  int32_t code = 0;
  int32_t bcode = 0;  // the group it belongs to
  std::string groupName;
  std::string name;
};

struct ExpenseNote {
  int64_t trid = 0;
  std::string note;
};

// One record of gider.dat, byte for byte (little-endian). Texts are the bytes
// the database delivered, zero-padded; a text as long as its field has no
// terminating zero, so readers bound every text by its field's size.
struct ExpenseMove {
  int32_t Id = 0;
  int32_t branchNo = 0;
  int64_t transid = 0;
  int32_t giderkodu = 0;
  int32_t odemtip = 0;
  float amount = 0;  // the file keeps 32-bit floats
  int8_t islendi = 0;
  char groupName[64] = {};    // at most 63 bytes and a zero
  char expenseName[64] = {};  // at most 63 bytes and a zero
  char time[32] = {};
  char donem[32] = {};
  char imgfilename[64] = {};
  char note[255] = {};
  char padding[4] = {};
};

static_assert(sizeof(ExpenseMove) == 544, "gider.dat records are 544 bytes");
static_assert(offsetof(ExpenseMove, Id) == 0);
static_assert(offsetof(ExpenseMove, branchNo) == 4);
static_assert(offsetof(ExpenseMove, transid) == 8);
static_assert(offsetof(ExpenseMove, giderkodu) == 16);
static_assert(offsetof(ExpenseMove, odemtip) == 20);
static_assert(offsetof(ExpenseMove, amount) == 24);
static_assert(offsetof(ExpenseMove, islendi) == 28);
static_assert(offsetof(ExpenseMove, groupName) == 29);
static_assert(offsetof(ExpenseMove, expenseName) == 93);
static_assert(offsetof(ExpenseMove, time) == 157);
static_assert(offsetof(ExpenseMove, donem) == 189);
static_assert(offsetof(ExpenseMove, imgfilename) == 221);
static_assert(offsetof(ExpenseMove, note) == 285);
static_assert(offsetof(ExpenseMove, padding) == 540);

struct ExpenseStore {
  DatabaseConnection connection;
  std::vector<ExpenseGroup> expenseGroups;
  std::vector<ExpenseDefinition> expenseDefinitions;
  std::vector<ExpenseMove> expenseMoves;
  std::vector<ExpenseNote> expenseNotes;
  // Indexes into expenseMoves (ascending) of the moves whose image name was
  // longer than the imgfilename field: the record holds a cut name that
  // names no file, so the export neither sends an image for them nor marks them.
  std::vector<size_t> cutImageNames;
};

// Each read empties its list first. Counts, or -2 after a reported error.
int readExpenseGroups(ExpenseStore& store);
int readExpenseDefinitions(ExpenseStore& store);
int readExpenseMoves(ExpenseStore& store);  // the count includes the end record
int readExpenseNotes(ExpenseStore& store);
// Fills the names and notes of the moves (first match in database order). 0.
int joinExpenseTexts(ExpenseStore& store);
// Sets islendi = 1 on the move with this Id, with the statement sent as a
// query (the connector then answers with error code 0, which counts as
// success). 0, or -2 after a reported error.
int markExpenseMoveProcessed(ExpenseStore& store, int32_t id);
// The same for many moves on one connection, in list order. Returns how many
// of `ids` (from the front) are now marked; stops at the first reported error.
size_t markExpenseMovesProcessed(ExpenseStore& store, const std::vector<int32_t>& ids);

}  // namespace kestrune
