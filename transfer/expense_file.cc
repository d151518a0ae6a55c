#include "transfer/expense_file.h"

#include <algorithm>
#include <cstring>

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

ExpenseFile writeExpenseFile(const std::string& expenseFolder,
                             const std::vector<ExpenseMove>& expenseMoves) {
  ExpenseFile file;
  file.remoteName = kExportName;
  file.localPath = expenseFolder + kPathSeparator + file.remoteName;
  createFolder(expenseFolder);

  OutputFile out;
  if (!openOutputFile(out, file.localPath)) {
    showError(kWriteCaption, out.error);
    return file;
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
    return file;
  }
  file.result = 0;
  return file;
}

}  // namespace kestrune
