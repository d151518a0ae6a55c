// The local folders of the agent and the path and remote name of the report
// document written last.
#pragma once

#include <string>

#include "platform/window.h"

namespace kestrune {

struct ReportFolders {
  WindowHandle ownerWindow = nullptr;
  std::u16string desktopPathWide;
  std::string rootFolder;       // C:\Melrova on Windows
  std::string expenseFolder;    // rootFolder + separator + "giderler"
  std::string salesFolder;      // rootFolder + separator + "satislar"
  char systemDrive[2] = {};     // drive letter of the Windows folder (empty elsewhere)
  std::string uploadLocalPath;  // the last report document
  std::string uploadFileName;   // e.g. "gunluk.html"
};

// Fills the folder names, makes sure the root and sales folders exist (a new
// installation has neither) and creates the "getir" folder on the desktop
// when the desktop is known.
void initReportFolders(ReportFolders& folders);

}  // namespace kestrune
