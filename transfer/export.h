// The expense export: gider.dat, its upload, the receipt images and the
// marking of the exported movements.
#pragma once

#include <vector>

#include "db/expenses.h"
#include "reports/folders.h"

namespace kestrune {

struct AppState;

// Writes the moves as 544-byte records into "gider.dat" in the expense folder
// (created when missing) and sets paths.exportFileName / exportLocalPath.
// The file appears only when written whole: 0 then; -1 after a reported error.
int writeExpenseFile(ReportFolders& paths, const std::vector<ExpenseMove>& expenseMoves);

// The whole export run; adds 1 to exportsCompleted. Returns 0.
int runExpenseExport(AppState& app);

}  // namespace kestrune
