#include "transfer/export.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "db/text.h"
#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/ftp.h"
#include "platform/output_file.h"
#include "transfer/upload.h"

namespace kestrune {

namespace {

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "gider.dat records are written as they lie in memory: little-endian only");
#endif

const char kExportName[] = "gider.dat";
const char kWriteCaption[] = "WRITE_GIDER_DAT";
const char kImageCaption[] = "UPLOAD_GIDER_RESIM";

// Records are written in blocks of this many.
constexpr size_t kRecordsPerWrite = 128;

// Device names that Windows finds in every folder, whatever the extension.
bool isDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// An image name that names a file in the expense folder itself and, as a
// remote name, a file in the restaurant's remote folder: no folder part, no
// way up, no drive, no control characters (an FTP command ends at CR LF).
bool isPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7F) return false;
  }
  return !isDeviceName(name);
}

// The name as it can be shown in a message.
std::string printable(const std::string& name) {
  std::string out;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    out += c < 0x20 || c == 0x7F ? '?' : ch;
  }
  return out;
}

// After gider.dat arrived: sends the receipt images of the moves not yet
// processed and marks the moves, in list order on one connection. A move
// whose image exists is marked only when its image arrived; otherwise it
// stays unprocessed and the next export offers the image again. A move whose
// image name cannot name a file in the expense folder is neither sent nor
// marked, and is reported, so that its image is not silently given up.
void sendImagesAndMark(AppState& app, const CompanyInfo& company) {
  ExpenseStore& store = app.expenses;
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
      unusable.push_back("movement " + std::to_string(m.Id) + ": \"" + printable(name) +
                         (cut ? "...\" is longer than 64 bytes" : "\" is not a plain file name"));
      continue;
    }
    std::string path = app.folders.expenseFolder + kPathSeparator + name;
    if (!pathExists(path) ||
        uploadFile(app.mainWindow, name, path, company) == kFtpDone)
      ids.push_back(m.Id);
  }
  markExpenseMovesProcessed(store, ids);
  if (!unusable.empty()) {
    std::string text = std::to_string(unusable.size()) +
                       " movement(s) stay unprocessed: their image name does not name a file in " +
                       app.folders.expenseFolder;
    const size_t shown = 5;
    for (size_t i = 0; i < unusable.size() && i < shown; ++i) text += "; " + unusable[i];
    if (unusable.size() > shown) text += "; ...";
    showError(kImageCaption, text);
  }
}

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

int runExpenseExport(AppState& app) {
  // Without the company record there is no folder of this restaurant to send to.
  bool companyKnown = refreshCompany(app);
  CompanyInfo company = companyRecord(app);
  refreshExpenseConnection(app);

  ExpenseStore& store = app.expenses;
  // Each read reports its own failure. A file made from a failed read would
  // lack movements or the end record (the server lost in the middle of the
  // moves) or their names: nothing is written, sent or marked then, and the
  // next export sends the whole year again.
  bool readAll = readExpenseGroups(store) >= 0;
  readAll = readExpenseDefinitions(store) >= 0 && readAll;
  readAll = readExpenseMoves(store) >= 0 && readAll;
  readAll = readExpenseNotes(store) >= 0 && readAll;
  joinExpenseTexts(store);
  for (ExpenseMove& m : store.expenseMoves) m.branchNo = company.branchNo;

  // A root folder removed while the agent runs is made again, as start-up makes it.
  if (!app.folders.rootFolder.empty()) createFolder(app.folders.rootFolder);
  // Only a whole file is sent, and only a file that arrived lets moves be marked.
  if (readAll && companyKnown && writeExpenseFile(app.folders, store.expenseMoves) == 0 &&
      !store.expenseMoves.empty() &&
      uploadFile(app.mainWindow, app.folders.exportFileName, app.folders.exportLocalPath,
                 company) >= kFtpDone) {
    app.exportsUploaded += 1;
    sendImagesAndMark(app, company);
  }

  app.exportsCompleted += 1;
  return 0;
}

}  // namespace kestrune
