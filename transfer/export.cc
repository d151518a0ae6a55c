#include "transfer/export.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/output_file.h"

namespace kestrune {

namespace {

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "gider.dat records are written as they lie in memory: little-endian only");
#endif

const char kExportName[] = "gider.dat";
const char kWriteCaption[] = "WRITE_GIDER_DAT";

// Records are written in blocks of this many.
constexpr size_t kRecordsPerWrite = 128;

}  // namespace

int writeExpenseFile(ReportFolders& paths, const std::vector<ExpenseMove>& expenseMoves) {
  paths.exportFileName = kExportName;
  paths.exportLocalPath = paths.expenseFolder + kPathSeparator + paths.exportFileName;
  createFolder(paths.expenseFolder);

  OutputFile out;
  if (!openOutputFile(out, paths.exportLocalPath)) {
    showError(kWriteCaption, out.error);
    return -1;
  }
  // Record i lands at 544 * i: the records go out in list order, back to
  // back, with their padding bytes zeroed.
  std::vector<ExpenseMove> block;
  block.reserve(kRecordsPerWrite);
  for (size_t first = 0; first < expenseMoves.size(); first += kRecordsPerWrite) {
    size_t last = std::min(expenseMoves.size(), first + kRecordsPerWrite);
    block.assign(expenseMoves.begin() + first, expenseMoves.begin() + last);
    for (ExpenseMove& m : block) std::memset(m.padding, 0, sizeof m.padding);
    if (!writeOutput(out, block.data(), block.size() * sizeof(ExpenseMove))) break;
  }
  if (!commitOutputFile(out)) {
    showError(kWriteCaption, out.error);
    return -1;
  }
  return 0;
}

}  // namespace kestrune
