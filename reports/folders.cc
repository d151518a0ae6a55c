#include "reports/folders.h"

#include "platform/errors.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace kestrune {

namespace {

// One folder level the agent cannot work without; a new installation has none.
void ensureFolder(const std::string& path, bool (*create)(const std::string&) = createFolder) {
  if (!create(path)) showError("INIT_REPORT_FOLDERS", "cannot create folder " + path);
}

}  // namespace

void initReportFolders(ReportFolders& folders) {
  folders.rootFolder = agentRootFolder();
  folders.expenseFolder = folders.rootFolder + kPathSeparator + "giderler";
  folders.salesFolder = folders.rootFolder + kPathSeparator + "satislar";

  ensureFolder(folders.rootFolder, createPrivateFolder);
  ensureFolder(folders.salesFolder);
  // The expense folder is made by the expense export when it writes.

  // One level on an existing desktop: a missing desktop is not created, an
  // existing "getir" folder stays as it is.
  folders.desktopPathWide = desktopFolder();
  if (!folders.desktopPathWide.empty())
    createFolder(folders.desktopPathWide + utf8ToUtf16(kPathSeparator) + u"getir");
}

}  // namespace kestrune
