#include "app/export_run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/health.h"
#include "db/text.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/ftp.h"
#include "transfer/expense_file.h"
#include "transfer/file_names.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

const char kImageCaption[] = "UPLOAD_GIDER_RESIM";

// After gider.dat arrived: sends the receipt images of the moves not yet
// processed and marks the moves, in list order on one connection. A move
// with an image is marked only when its image arrived; otherwise it stays
// unprocessed and the next export offers the image again. That includes an
// image not yet in the expense folder (it is often copied there a little
// later): such moves are counted in outcome.imagesWaiting. A move whose
// image name cannot name a file in the expense folder is neither sent nor
// marked, and is reported, so that its image is not silently given up; so
// is one whose image is not a regular file.
void sendImagesAndMark(ExportData& exports, SharedState& shared, const CompanyInfo& company,
                       RunOutcome& outcome) {
  ExpenseStore& store = exports.expenses;
  const std::string& expenseFolder = shared.folders.expenseFolder;
  const std::vector<ExpenseMove>& moves = store.expenseMoves;
  std::vector<int32_t> ids;
  ids.reserve(moves.size());
  std::vector<std::string> unusable;
  for (size_t i = 0; i < moves.size(); ++i) {
    const ExpenseMove& m = moves[i];
    std::string name = fieldText(m.imgfilename);
    if (m.islendi > 0 || name.empty()) {
      ids.push_back(m.Id);
      continue;
    }
    bool cut = std::binary_search(store.cutImageNames.begin(), store.cutImageNames.end(), i);
    if (cut || !isPlainFileName(name)) {
      unusable.push_back("movement " + std::to_string(m.Id) + ": \"" + printableName(name) +
                         (cut ? "...\" is longer than 64 bytes" : "\" is not a plain file name"));
      continue;
    }
    if (shared.ending) return;  // nothing marked: the next export offers them all again
    std::string path = expenseFolder + kPathSeparator + name;
    PathKind kind = pathKind(path);
    if (kind == PathKind::Missing) {
      outcome.imagesWaiting += 1;
    } else if (kind != PathKind::File) {
      // A pipe would block the export (and the agent's end) for ever, a link
      // would send whatever it points to.
      unusable.push_back("movement " + std::to_string(m.Id) + ": \"" + printableName(name) +
                         "\" is not a regular file");
    } else if (uploadForRun(shared, exports.ftp.session, name, path, company) == kFtpDone) {
      ids.push_back(m.Id);
      outcome.images += 1;
    }
  }
  markExpenseMovesProcessed(store, ids);
  if (!unusable.empty()) {
    std::string text = std::to_string(unusable.size()) +
                       " movement(s) stay unprocessed: their image name does not name a file in " +
                       expenseFolder;
    const size_t shown = 5;
    for (size_t i = 0; i < unusable.size() && i < shown; ++i) text += "; " + unusable[i];
    if (unusable.size() > shown) text += "; ...";
    showError(kImageCaption, text);
  }
}

}  // namespace

RunOutcome runExpenseExport(ExportData& exports, SharedState& shared) {
  RunFtpScope ftp(exports.ftp);
  // Without the company record, or without a folder in it, there is no folder
  // of this restaurant to send to.
  bool companyKnown = refreshCompany(shared);
  CompanyInfo company = companyRecord(shared);
  refreshExpenseConnection(exports);

  ExpenseStore& store = exports.expenses;
  // Each read reports its own failure. A file made from a failed read would
  // lack movements or the end record (the server lost in the middle of the
  // moves) or their names: nothing is written, sent or marked then, and the
  // next export sends the whole year again.
  bool readAll = readExpenseGroups(store) >= 0;
  readAll = readExpenseDefinitions(store) >= 0 && readAll;
  readAll = readExpenseMoves(store) >= 0 && readAll;
  readAll = readExpenseNotes(store) >= 0 && readAll;
  noteDatabaseAnswer(shared, store.connection);
  joinExpenseTexts(store);
  for (ExpenseMove& m : store.expenseMoves) m.branchNo = company.branchNo;

  // A root folder removed while the agent runs is made again, as start-up makes it.
  if (!shared.folders.rootFolder.empty()) createPrivateFolder(shared.folders.rootFolder);
  // Only a whole file is sent, and only a file that arrived lets moves be marked.
  RunOutcome result;
  if (shared.ending) {
    // Once the agent is ending, nothing more is written, sent or marked.
    result.reason = "the agent is ending";
  } else if (!readAll) {
    result.reason = "the expense movements could not be read";
  } else if (!companyKnown) {
    result.reason = "the company record could not be read";
  } else if (companyHasFolder(company, result)) {
    ExpenseFile file = writeExpenseFile(shared.folders.expenseFolder, store.expenseMoves);
    result.records = static_cast<int>(store.expenseMoves.size());
    if (file.result != 0) {
      result.reason = "gider.dat could not be written";
    } else if (store.expenseMoves.empty()) {
      result.reason = "there are no expense movements";
    } else if (shared.ending) {
      result.reason = "the agent is ending";
    } else if (uploadForRun(shared, exports.ftp.session, file.remoteName, file.localPath, company) <
               kFtpDone) {
      result.reason = "the upload of gider.dat failed";
    } else {
      result.uploaded = true;
      shared.status.exportsUploaded += 1;
      sendImagesAndMark(exports, shared, company, result);
      noteDatabaseAnswer(shared, store.connection);
    }
  }

  shared.status.exportsCompleted += 1;
  recordRun(shared.status, RunKind::Export, result);
  return result;
}

}  // namespace kestrune
