// gider.dat: the year's expense movements as 544-byte records.
#pragma once

#include <string>
#include <vector>

#include "db/expenses.h"

namespace kestrune {

// The file an export wrote.
struct ExpenseFile {
  int result = -1;         // 0 when written whole; -1 after a reported error
  std::string localPath;   // expense folder + separator + "gider.dat"
  std::string remoteName;  // "gider.dat"
};

// Writes the moves as 544-byte records into "gider.dat" in expenseFolder
// (created when missing). The file appears only when written whole.
ExpenseFile writeExpenseFile(const std::string& expenseFolder,
                             const std::vector<ExpenseMove>& expenseMoves);

}  // namespace kestrune
